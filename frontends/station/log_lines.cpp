#include "station/log_lines.h"

#include <nlohmann/json.hpp>

#include "platform/printf_text.h"

namespace usbisp::station {

using Json = nlohmann::ordered_json;

namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (std::uint8_t b : bytes) text += Printf("%02x", b);
    return text;
}

const char* ResultName(ReaderResult result) {
    switch (result) {
        case ReaderResult::Programmed:
            return "programmed";
        case ReaderResult::Verified:
            return "verified";
        case ReaderResult::Failed:
            break;
    }
    return "failed";
}

// Bytes a reader or a file name brings that are not UTF-8 become U+FFFD
// rather than a line no one can parse.
std::string Dump(const Json& line) {
    return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

std::string ReaderLine(const ReaderRecord& r) {
    Json line;
    line["event"] = "reader";
    line["time"] = r.time;
    line["port"] = r.port;
    line["reader"] = r.reader;
    if (r.identity) {
        const ReaderIdentity& id = *r.identity;
        line["vidPid"] = Printf("%04x:%04x", id.vid, id.pid);
        line["inquiry"] = {{"vendor", id.inquiryVendor},
                           {"product", id.inquiryProduct},
                           {"revision", id.inquiryRevision}};
        line["hardwareRevision"] = Hex(id.hardwareRevision);
        line["firmwareRevision"] = Hex(id.firmwareRevision);
    }
    if (!r.serial.empty()) line["serial"] = r.serial;
    if (r.number) {
        line["pc"] = r.number->PC;
        line["cnt"] = r.number->CNT;
    }
    if (!r.image.empty()) line["image"] = r.image;
    if (r.imageCrc) line["crc32"] = Printf("%08x", *r.imageCrc);
    line["result"] = ResultName(r.result);
    if (r.result == ReaderResult::Failed) {
        line["step"] = r.step;
        if (r.number) line["void"] = true;
    }
    line["durationMs"] = r.durationMs;
    return Dump(line);
}

std::string CounterLine(const std::string& time, const SerialCounter& counter) {
    Json line;
    line["event"] = "counter";
    line["time"] = time;
    line["pc"] = counter.PC;
    line["cnt"] = counter.CNT;
    return Dump(line);
}

std::string VoidLine(const std::string& time, std::uint32_t pc, std::uint32_t cnt) {
    Json line;
    line["event"] = "void";
    line["time"] = time;
    line["pc"] = pc;
    line["cnt"] = cnt;
    line["reason"] = "given out before the station stopped; its reader has no line";
    return Dump(line);
}

std::string SummaryLine(const std::string& time, const RunCounts& counts) {
    Json line;
    line["event"] = "summary";
    line["time"] = time;
    line["programmed"] = counts.programmed;
    line["verified"] = counts.verified;
    line["failed"] = counts.failed;
    line["void"] = counts.voided;
    line["readersPerHour"] = counts.readersPerHour;
    return Dump(line);
}

SinceLastCounter ScanLog(const std::vector<std::string>& lines) {
    SinceLastCounter since;
    for (const std::string& text : lines) {
        const Json line = Json::parse(text, nullptr, false);
        if (!line.is_object() || !line.contains("pc") || !line.contains("cnt") ||
            !line["pc"].is_number_unsigned() || !line["cnt"].is_number_unsigned())
            continue;
        const auto pc = line["pc"].get<std::uint32_t>();
        const auto cnt = line["cnt"].get<std::uint32_t>();
        if (line.value("event", "") == "counter") {
            since.found = true;
            since.pc = pc;
            since.cnt = cnt;
            since.accounted.clear();
        } else if (since.found && pc == since.pc) {
            since.accounted.insert(cnt);
        }
    }
    return since;
}

}  // namespace usbisp::station
