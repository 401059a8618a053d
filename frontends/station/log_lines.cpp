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
        if (!r.stamped) line["stamped"] = false;
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

std::string StartLine(const std::string& time, const char* mode) {
    Json line;
    line["event"] = "start";
    line["time"] = time;
    line["mode"] = mode;
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

std::string EndCounterLine(const std::string& time, const SerialCounter& counter) {
    Json line = Json::parse(CounterLine(time, counter));
    line["end"] = true;
    return Dump(line);
}

std::string VoidLine(const std::string& time, std::uint32_t pc, std::uint32_t cnt,
                     const char* reason) {
    Json line;
    line["event"] = "void";
    line["time"] = time;
    line["pc"] = pc;
    line["cnt"] = cnt;
    line["reason"] = reason;
    return Dump(line);
}

std::string SkipLine(const std::string& time, std::uint32_t pc, std::uint32_t first,
                     std::uint32_t last) {
    Json line;
    line["event"] = "skip";
    line["time"] = time;
    line["pc"] = pc;
    line["cnt"] = first;
    line["last"] = last;
    line["reason"] = "SERIAL.TXT was moved forward while no station ran";
    return Dump(line);
}

std::string BackwardsLine(const std::string& time, const SerialCounter& counter,
                          std::uint32_t highest) {
    Json line;
    line["event"] = "backwards";
    line["time"] = time;
    line["pc"] = counter.PC;
    line["cnt"] = counter.CNT;
    line["highest"] = highest;
    line["reason"] = "taken with --take-counter: numbers up to highest may be given again";
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

PcHistory ScanLog(const std::vector<std::string>& lines, std::uint32_t pc) {
    PcHistory history;
    const auto raise = [&history](std::uint32_t cnt) {
        if (!history.highest || cnt > *history.highest) history.highest = cnt;
    };
    for (const std::string& text : lines) {
        const Json line = Json::parse(text, nullptr, false);
        if (!line.is_object() || !line.contains("pc") || !line.contains("cnt") ||
            !line["pc"].is_number_unsigned() || !line["cnt"].is_number_unsigned() ||
            line["pc"].get<std::uint32_t>() != pc)
            continue;
        const auto cnt = line["cnt"].get<std::uint32_t>();
        const std::string event = line.value("event", "");
        if (event == "counter") {
            history.found = true;
            history.cnt = cnt;
            history.ended = line.value("end", false);
            history.accounted.clear();
            // Every number below a counter was given before it.
            if (cnt > 0) raise(cnt - 1);
        } else if (event == "backwards") {
            // The operator's decision: what was accounted for before it is
            // given again, knowingly.
            history.highest.reset();
        } else if (event == "skip") {
            const Json& last = line["last"];
            raise(last.is_number_unsigned() ? last.get<std::uint32_t>() : cnt);
        } else {
            raise(cnt);
            if (history.found) history.accounted.insert(cnt);
        }
    }
    return history;
}

}  // namespace usbisp::station
