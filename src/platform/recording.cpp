#include "platform/recording.h"

#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "platform/printf_text.h"
#include "platform/win_constants.h"

namespace usbisp::rec {

namespace {

using nlohmann::json;
using nlohmann::ordered_json;

constexpr std::array<const char*, 18> kCallNames = {
    "GetVersion",        "CreateFileA",      "DeviceIoControl", "CloseHandle",
    "GetLastError",      "GetLogicalDrives", "Sleep",           "LoadLibraryA",
    "GetProcAddress",    "FreeLibrary",      "RegOpenKeyExA",   "RegQueryValueExA",
    "RegCloseKey",       "GetLocalTime",     "GetDriveTypeA",   "GetASPI32SupportInfo",
    "SendASPI32Command", "SRB_PostProc"};

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 15]);
    }
    return text;
}

std::string TimeText(const LocalTime& t) {
    return Printf("%04u-%02u-%02uT%02u:%02u:%02u.%03u", unsigned{t.year}, unsigned{t.month},
                  unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute}, unsigned{t.second},
                  unsigned{t.milliseconds});
}

// A text as JSON writes it; bytes that are not UTF-8 become U+FFFD rather
// than ending the recording.
std::string Dump(const ordered_json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace

const char* CallName(Call call) {
    return kCallNames[static_cast<std::size_t>(call)];
}

std::optional<Call> CallNamed(std::string_view name) {
    for (std::size_t i = 0; i < kCallNames.size(); ++i)
        if (name == kCallNames[i]) return static_cast<Call>(i);
    return std::nullopt;
}

std::string HeaderText(const Recording& header) {
    ordered_json facts = ordered_json::object();
    for (const auto& [name, value] : header.facts) facts[name] = value;
    // The keys before "events", written by hand so that the events can follow
    // one by one as they happen.
    return "{\"" + std::string(kMarkerKey) + "\": " + std::to_string(kFormatVersion) +
           ",\n \"program\": " + Dump(header.program) + ", \"version\": " + Dump(header.version) +
           ",\n \"platform\": " + Dump(header.platform) + ",\n \"facts\": " + Dump(facts) +
           ",\n \"events\": [\n";
}

std::string EventLine(const Event& e, bool first) {
    ordered_json o;
    o["t"] = e.t;
    o["call"] = CallName(e.call);
    switch (e.call) {
        case Call::CreateFileA:
            o["path"] = e.path;
            o["access"] = e.access;
            o["share"] = e.share;
            o["disposition"] = e.disposition;
            o["flags"] = e.flags;
            o["ok"] = e.ok;
            o["lastError"] = e.lastError;
            break;
        case Call::DeviceIoControl:
            o["path"] = e.path;
            o["code"] = e.code;
            o["inSize"] = e.inSize;
            o["outSize"] = e.outSize;
            o["in"] = Hex(e.in);
            if (e.out.size() > e.outSize) o["outWritten"] = e.out.size();
            if (e.out.size() == e.in.size() && e.outSize == e.inSize && !e.in.empty()) {
                // A request answered in its own buffer (the pass-through's)
                // comes back as it went but for its first bytes, the header
                // and sense: only those are written, the rest is the input's.
                std::size_t differing = e.out.size();
                while (differing > 0 && e.out[differing - 1] == e.in[differing - 1]) --differing;
                o["out"] = Hex(std::vector<std::uint8_t>(
                    e.out.begin(), e.out.begin() + static_cast<std::ptrdiff_t>(differing)));
                o["outRestAsIn"] = true;
            } else {
                o["out"] = Hex(e.out);
            }
            o["returned"] = e.returned;
            o["ok"] = e.ok;
            o["lastError"] = e.lastError;
            break;
        case Call::CloseHandle:
            o["path"] = e.path;
            o["ok"] = e.ok;
            break;
        case Call::LoadLibraryA:
        case Call::GetProcAddress:
        case Call::RegOpenKeyExA:
            o["path"] = e.path;
            o["ok"] = e.ok;
            o["value"] = e.value;
            break;
        case Call::RegQueryValueExA:
            o["path"] = e.path;
            o["value"] = e.value;
            o["returned"] = e.returned;
            o["out"] = Hex(e.out);
            break;
        case Call::FreeLibrary:
            o["ok"] = e.ok;
            break;
        case Call::GetLocalTime:
            o["time"] = TimeText(e.time);
            o["dayOfWeek"] = e.time.dayOfWeek;
            break;
        case Call::GetDriveTypeA:
            o["path"] = e.path;
            o["value"] = e.value;
            break;
        case Call::SendASPI32Command:
            o["request"] = e.request;
            o["adapter"] = e.adapter;
            o["target"] = e.target;
            o["lun"] = e.lun;
            o["flags"] = e.aspiFlags;
            o["bufLen"] = e.bufferLength;
            o["senseLen"] = e.senseLength;
            o["cdbLen"] = e.cdbLength;
            o["cdb"] = Hex(e.cdb);
            o["dataOut"] = Hex(e.dataOut);
            o["value"] = e.value;
            break;
        case Call::SRB_PostProc:
            o["request"] = e.request;
            o["sleeps"] = e.sleeps;
            o["status"] = e.status;
            o["hostStatus"] = e.hostStatus;
            o["targetStatus"] = e.targetStatus;
            o["dataIn"] = Hex(e.dataIn);
            o["sense"] = Hex(e.sense);
            break;
        case Call::GetVersion:
        case Call::GetLastError:
        case Call::GetLogicalDrives:
        case Call::Sleep:
        case Call::RegCloseKey:
        case Call::GetASPI32SupportInfo:
            o["value"] = e.value;
            break;
    }
    return (first ? "" : ",\n") + Dump(o);
}

std::string EndText(bool cut) {
    return std::string("\n],\n \"end\": ") + (cut ? "\"cut\"" : "\"complete\"") + "}\n";
}

std::string DescribeCall(const Event& e) {
    std::string text = CallName(e.call);
    switch (e.call) {
        case Call::CreateFileA:
            return text + " \"" + e.path + "\"" + Printf(" access=0x%x", e.access);
        case Call::CloseHandle:
            return text + " \"" + e.path + "\"";
        case Call::DeviceIoControl:
            text +=
                " \"" + e.path + "\"" + Printf(" 0x%x in=%u out=%u", e.code, e.inSize, e.outSize);
            // A pass-through request is told by its command block.
            if (e.code == win::kIoctlScsiPassThrough && e.in.size() >= 44) {
                text += " cdb=";
                for (std::size_t i = 0; i < 12; ++i) text += Printf("%02x", e.in[28 + i]);
            }
            return text;
        case Call::SendASPI32Command:
        case Call::SRB_PostProc:
            text += Printf(" request %u", e.request);
            if (e.call == Call::SRB_PostProc) return text + Printf(" status=%02x", e.status);
            text += Printf(" ha=%u target=%u lun=%u flags=0x%x buflen=%u cdb=", e.adapter, e.target,
                           e.lun, e.aspiFlags, e.bufferLength);
            for (std::uint8_t b : e.cdb) text += Printf("%02x", b);
            return text;
        default:
            return e.path.empty() ? text : text + " \"" + e.path + "\"";
    }
}

}  // namespace usbisp::rec
