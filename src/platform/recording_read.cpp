// Reading a recording: the whole file checked, each event's fields bounded
// before anything is kept.
#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "platform/recording.h"

namespace usbisp::rec {

namespace {

using nlohmann::json;

// What is wrong with the event being read.
struct ReadError {
    std::string what;
};

[[noreturn]] void Bad(const std::string& what) {
    throw ReadError{what};
}

const json& Field(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end()) Bad(std::string("\"") + key + "\" is missing");
    return *found;
}

std::uint64_t Number(const json& object, const char* key, std::uint64_t most) {
    const json& value = Field(object, key);
    if (!value.is_number_unsigned() || value.get<std::uint64_t>() > most)
        Bad(std::string("\"") + key + "\" is not a number from 0 to " + std::to_string(most));
    return value.get<std::uint64_t>();
}

std::uint32_t Word(const json& object, const char* key) {
    return static_cast<std::uint32_t>(Number(object, key, 0xFFFFFFFFu));
}

std::uint8_t Byte(const json& object, const char* key) {
    return static_cast<std::uint8_t>(Number(object, key, 0xFF));
}

std::string Text(const json& object, const char* key) {
    const json& value = Field(object, key);
    if (!value.is_string() || value.get_ref<const std::string&>().size() > kMaxTextLength)
        Bad(std::string("\"") + key + "\" is not a text of at most " +
            std::to_string(kMaxTextLength) + " characters");
    return value.get<std::string>();
}

bool Flag(const json& object, const char* key) {
    const json& value = Field(object, key);
    if (!value.is_boolean()) Bad(std::string("\"") + key + "\" is not true or false");
    return value.get<bool>();
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The bytes of a hex text, exactly `size` of them (at most, when `atMost`).
std::vector<std::uint8_t> Bytes(const json& object, const char* key, std::uint32_t size,
                                bool atMost = false) {
    const json& value = Field(object, key);
    if (!value.is_string()) Bad(std::string("\"") + key + "\" is not a hex text");
    const std::string& text = value.get_ref<const std::string&>();
    if (atMost && text.size() % 2 == 0 && text.size() <= std::size_t{size} * 2)
        size = static_cast<std::uint32_t>(text.size() / 2);
    if (text.size() != std::size_t{size} * 2)
        Bad(std::string("\"") + key + "\" holds " + std::to_string(text.size() / 2) +
            " bytes, not " + std::to_string(size));
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int high = HexDigit(text[2 * i]), low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0)
            Bad(std::string("\"") + key + "\" is not hex at byte " + std::to_string(i));
        bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return bytes;
}

LocalTime Time(const json& object) {
    const std::string text = Text(object, "time");
    unsigned v[7];
    char tail;
    if (text.size() != 23 || std::sscanf(text.c_str(), "%4u-%2u-%2uT%2u:%2u:%2u.%3u%c", &v[0],
                                         &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &tail) != 7)
        Bad("\"time\" is not of the form 2003-11-18T09:30:00.000");
    if (v[0] < 1601 || v[0] > 9999 || v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31 || v[3] > 23 ||
        v[4] > 59 || v[5] > 59)
        Bad("\"time\" is out of range");
    LocalTime t;
    t.year = static_cast<std::uint16_t>(v[0]);
    t.month = static_cast<std::uint16_t>(v[1]);
    t.day = static_cast<std::uint16_t>(v[2]);
    t.hour = static_cast<std::uint16_t>(v[3]);
    t.minute = static_cast<std::uint16_t>(v[4]);
    t.second = static_cast<std::uint16_t>(v[5]);
    t.milliseconds = static_cast<std::uint16_t>(v[6]);
    t.dayOfWeek = static_cast<std::uint16_t>(Number(object, "dayOfWeek", 6));
    return t;
}

Event ReadEvent(const json& object) {
    if (!object.is_object()) Bad("is not an object");
    const std::string name = Text(object, "call");
    const auto call = CallNamed(name);
    if (!call) Bad("\"call\" names no call the recorder writes: \"" + name + "\"");
    Event e;
    e.call = *call;
    e.t = Number(object, "t", std::uint64_t{1} << 48);
    switch (e.call) {
        case Call::CreateFileA:
            e.path = Text(object, "path");
            e.access = Word(object, "access");
            e.share = Word(object, "share");
            e.disposition = Word(object, "disposition");
            e.flags = Word(object, "flags");
            e.ok = Flag(object, "ok");
            e.lastError = Word(object, "lastError");
            break;
        case Call::DeviceIoControl:
            e.path = Text(object, "path");
            e.code = Word(object, "code");
            e.inSize = static_cast<std::uint32_t>(Number(object, "inSize", kMaxBufferBytes));
            e.outSize = static_cast<std::uint32_t>(Number(object, "outSize", kMaxBufferBytes));
            e.in = Bytes(object, "in", e.inSize);
            // A driver that wrote more than its declared output: "out" holds
            // what it wrote.
            if (object.contains("outWritten")) {
                const auto written =
                    static_cast<std::uint32_t>(Number(object, "outWritten", kMaxBufferBytes));
                if (written <= e.outSize || object.contains("outRestAsIn"))
                    Bad("\"outWritten\" is not above outSize");
                e.out = Bytes(object, "out", written);
            } else if (object.contains("outRestAsIn")) {
                if (!Flag(object, "outRestAsIn") || e.outSize != e.inSize)
                    Bad("\"outRestAsIn\" is true only where outSize is inSize");
                e.out = Bytes(object, "out", e.outSize, true);
                e.out.insert(e.out.end(), e.in.begin() + static_cast<std::ptrdiff_t>(e.out.size()),
                             e.in.end());
            } else {
                e.out = Bytes(object, "out", e.outSize);
            }
            e.returned = Word(object, "returned");
            e.ok = Flag(object, "ok");
            e.lastError = Word(object, "lastError");
            break;
        case Call::CloseHandle:
            e.path = Text(object, "path");
            e.ok = Flag(object, "ok");
            break;
        case Call::LoadLibraryA:
        case Call::GetProcAddress:
        case Call::RegOpenKeyExA:
            e.path = Text(object, "path");
            e.ok = Flag(object, "ok");
            e.value = Word(object, "value");
            break;
        case Call::RegQueryValueExA:
            e.path = Text(object, "path");
            e.value = Word(object, "value");
            e.returned = static_cast<std::uint32_t>(Number(object, "returned", kMaxBufferBytes));
            e.out = Bytes(object, "out", e.returned);
            break;
        case Call::FreeLibrary:
            e.ok = Flag(object, "ok");
            break;
        case Call::GetLocalTime:
            e.time = Time(object);
            break;
        case Call::GetDriveTypeA:
            e.path = Text(object, "path");
            e.value = Word(object, "value");
            break;
        case Call::SendASPI32Command:
            e.request = Word(object, "request");
            e.adapter = Byte(object, "adapter");
            e.target = Byte(object, "target");
            e.lun = Byte(object, "lun");
            e.aspiFlags = Byte(object, "flags");
            e.bufferLength = static_cast<std::uint32_t>(Number(object, "bufLen", kMaxBufferBytes));
            e.senseLength = Byte(object, "senseLen");
            e.cdbLength = Byte(object, "cdbLen");
            e.cdb = Bytes(object, "cdb", std::min<std::uint32_t>(e.cdbLength, kMaxCdbBytes));
            e.dataOut = Bytes(object, "dataOut", e.bufferLength, true);
            e.value = Word(object, "value");
            break;
        case Call::SRB_PostProc:
            e.request = Word(object, "request");
            e.sleeps = Word(object, "sleeps");
            e.status = Byte(object, "status");
            e.hostStatus = Byte(object, "hostStatus");
            e.targetStatus = Byte(object, "targetStatus");
            e.dataIn = Bytes(object, "dataIn", kMaxBufferBytes, true);
            e.sense = Bytes(object, "sense", kMaxSenseBytes, true);
            break;
        case Call::GetASPI32SupportInfo:
        case Call::GetVersion:
        case Call::GetLastError:
        case Call::GetLogicalDrives:
        case Call::Sleep:
        case Call::RegCloseKey:
            e.value = Word(object, "value");
            break;
    }
    return e;
}

}  // namespace

bool LooksLikeRecording(std::string_view text) {
    const auto brace = text.find_first_not_of(" \t\r\n");
    if (brace == std::string_view::npos || text[brace] != '{') return false;
    const auto key = text.find_first_not_of(" \t\r\n", brace + 1);
    const std::string marker = std::string("\"") + kMarkerKey + "\"";
    return key != std::string_view::npos && text.substr(key, marker.size()) == marker;
}

std::optional<Recording> ParseRecording(std::string_view text, std::string& error) {
    if (text.size() > kMaxRecordingBytes) {
        error = "the recording is larger than " + std::to_string(kMaxRecordingBytes >> 20) +
                " MB, more than any session makes";
        return std::nullopt;
    }
    json doc;
    try {
        doc = json::parse(text);
    } catch (const json::parse_error& e) {
        // A recorder that did not end (the program was killed, the disk
        // filled) leaves the text short of its end.
        const bool shortText = e.byte >= text.size();
        error = shortText ? "the recording ends before its end (truncated: the program that "
                            "made it did not finish it)"
                          : "not valid JSON at byte " + std::to_string(e.byte);
        return std::nullopt;
    } catch (const json::exception&) {
        error = "not valid JSON";
        return std::nullopt;
    }
    Recording r;
    std::string where;
    try {
        if (!doc.is_object() || !doc.contains(kMarkerKey))
            Bad("not a recording (no \"usbispRecording\")");
        const json& format = doc[kMarkerKey];
        if (!format.is_number_unsigned() || format.get<std::uint64_t>() != kFormatVersion)
            Bad("format " + format.dump() + " is not one this program reads (" +
                std::to_string(kFormatVersion) + ")");
        r.program = Text(doc, "program");
        r.version = Text(doc, "version");
        r.platform = Text(doc, "platform");
        const json& facts = Field(doc, "facts");
        if (!facts.is_object() || facts.size() > kMaxFacts)
            Bad("\"facts\" is not an object of at most " + std::to_string(kMaxFacts) + " texts");
        for (auto it = facts.begin(); it != facts.end(); ++it)
            r.facts.emplace_back(it.key(), Text(facts, it.key().c_str()));
        const std::string end = Text(doc, "end");
        if (end != "complete" && end != "cut") Bad("\"end\" is neither \"complete\" nor \"cut\"");
        r.cut = end == "cut";
        const json& events = Field(doc, "events");
        if (!events.is_array()) Bad("\"events\" is not a list");
        r.events.reserve(events.size());
        for (std::size_t i = 0; i < events.size(); ++i) {
            where = "event " + std::to_string(i + 1) + ": ";
            r.events.push_back(ReadEvent(events[i]));
        }
    } catch (const ReadError& e) {
        error = where + e.what;
        return std::nullopt;
    } catch (const json::exception& e) {
        error = where + e.what();
        return std::nullopt;
    }
    return r;
}

}  // namespace usbisp::rec
