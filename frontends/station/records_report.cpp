#include "station/records_report.h"

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <tuple>

#include "platform/printf_text.h"

namespace usbisp::station {

using Json = nlohmann::json;

namespace {

constexpr long long kHourMs = 3600000;
// Texts from a log are cut to this before the report keeps them.
constexpr std::size_t kMaxText = 256;

std::string Text(const Json& line, const char* key) {
    auto it = line.find(key);
    if (it == line.end() || !it->is_string()) return "";
    std::string text = it->get<std::string>();
    if (text.size() > kMaxText) text.resize(kMaxText);
    return text;
}

long long Unsigned(const Json& line, const char* key, long long limit) {
    auto it = line.find(key);
    if (it == line.end() || !it->is_number_unsigned()) return -1;
    const auto value = it->get<std::uint64_t>();
    return value > static_cast<std::uint64_t>(limit) ? -1 : static_cast<long long>(value);
}

// Days since 1970-01-01 of a civil date (Howard Hinnant's algorithm).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

bool Digits(const std::string& text, std::size_t at, std::size_t count, unsigned& value) {
    if (at + count > text.size()) return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return true;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

const char* KindName(EntryKind kind) {
    switch (kind) {
        case EntryKind::Programmed:
            return "programmed";
        case EntryKind::Verified:
            return "verified";
        case EntryKind::Failed:
            return "failed";
        case EntryKind::Void:
            break;
    }
    return "void";
}

}  // namespace

bool IsDay(const std::string& text) {
    unsigned y = 0, m = 0, d = 0;
    return text.size() == 10 && text[4] == '-' && text[7] == '-' && Digits(text, 0, 4, y) &&
           Digits(text, 5, 2, m) && Digits(text, 8, 2, d) && m >= 1 && m <= 12 && d >= 1 && d <= 31;
}

long long TimeMs(const std::string& time) {
    unsigned h = 0, mi = 0, s = 0, ms = 0;
    if (time.size() < 19 || !IsDay(time.substr(0, 10)) || time[10] != 'T' || time[13] != ':' ||
        time[16] != ':' || !Digits(time, 11, 2, h) || !Digits(time, 14, 2, mi) ||
        !Digits(time, 17, 2, s) || h > 23 || mi > 59 || s > 60)
        return -1;
    if (time.size() > 19 && (time.size() != 23 || time[19] != '.' || !Digits(time, 20, 3, ms)))
        return -1;
    unsigned y = 0, m = 0, d = 0;
    Digits(time, 0, 4, y);
    Digits(time, 5, 2, m);
    Digits(time, 8, 2, d);
    const long long days = DaysFromCivil(y, m, d);
    return ((days * 24 + h) * 60 + mi) * 60000 + s * 1000LL + ms;
}

std::vector<ReportEntry> EntriesFromLog(const std::vector<std::string>& lines,
                                        const std::string& station) {
    std::vector<ReportEntry> entries;
    for (const std::string& text : lines) {
        const Json line = Json::parse(text, nullptr, false);
        if (!line.is_object()) continue;
        const std::string event = Text(line, "event");
        if (event != "reader" && event != "void") continue;
        ReportEntry e;
        e.station = station;
        e.time = Text(line, "time");
        if (TimeMs(e.time) < 0) continue;
        e.pc = static_cast<int>(Unsigned(line, "pc", 0xFF));
        e.cnt = static_cast<long>(Unsigned(line, "cnt", 0xFFFF));
        if (e.pc < 0 || e.cnt < 0) e.pc = -1, e.cnt = -1;
        if (event == "void") {
            if (e.pc < 0) continue;
            e.kind = EntryKind::Void;
            e.voided = true;
            entries.push_back(std::move(e));
            continue;
        }
        const std::string result = Text(line, "result");
        if (result == "programmed") {
            e.kind = EntryKind::Programmed;
        } else if (result == "verified") {
            e.kind = EntryKind::Verified;
        } else if (result == "failed") {
            e.kind = EntryKind::Failed;
            auto v = line.find("void");
            e.voided = v != line.end() && v->is_boolean() && v->get<bool>() && e.pc >= 0;
        } else {
            continue;
        }
        e.port = Text(line, "port");
        e.reader = static_cast<int>(std::max(0LL, Unsigned(line, "reader", 1000000000)));
        e.serial = Text(line, "serial");
        e.step = Text(line, "step");
        const long long duration = Unsigned(line, "durationMs", 1000LL * 3600 * 24 * 365);
        e.durationMs = duration < 0 ? 0 : static_cast<std::uint64_t>(duration);
        entries.push_back(std::move(e));
    }
    return entries;
}

std::vector<ReportEntry> Since(std::vector<ReportEntry> entries, const std::string& day) {
    if (day.empty()) return entries;
    entries.erase(
        std::remove_if(entries.begin(), entries.end(),
                       [&](const ReportEntry& e) { return e.time.compare(0, 10, day) < 0; }),
        entries.end());
    return entries;
}

std::vector<ReportRow> CountEntries(const std::vector<ReportEntry>& entries) {
    struct Span {
        ReportRow row;
        long long first = -1;
        long long last = -1;
    };
    std::map<std::tuple<std::string, int, std::string>, Span> groups;
    Span line;
    line.row.station = "line";
    for (const ReportEntry& e : entries) {
        const std::string day = e.time.substr(0, 10);
        Span& group = groups[{day, e.pc, e.station}];
        group.row.day = day;
        group.row.pc = e.pc;
        group.row.station = e.station;
        for (Span* span : {&group, &line}) {
            ReportRow& r = span->row;
            r.programmed += e.kind == EntryKind::Programmed;
            r.verified += e.kind == EntryKind::Verified;
            r.failed += e.kind == EntryKind::Failed;
            r.voided += e.voided;
            if (e.kind == EntryKind::Void) continue;
            const long long end = TimeMs(e.time);
            const long long start = end - static_cast<long long>(e.durationMs);
            span->first = span->first < 0 ? start : std::min(span->first, start);
            span->last = std::max(span->last, end);
        }
    }
    std::vector<ReportRow> rows;
    auto perHour = [](Span& span) {
        ReportRow& r = span.row;
        const long long readers = r.programmed + r.verified + r.failed;
        if (span.last > span.first && span.first >= 0)
            r.readersPerHour = static_cast<int>(readers * kHourMs / (span.last - span.first));
        return r;
    };
    for (auto& [key, span] : groups) rows.push_back(perHour(span));
    if (!entries.empty()) rows.push_back(perHour(line));
    return rows;
}

std::string ReportText(const std::vector<ReportRow>& rows) {
    std::string text = "day         pc    programmed verified failed void per-hour  station\n";
    for (const ReportRow& r : rows) {
        const std::string pc = r.pc < 0 ? "-" : Printf("0x%02x", static_cast<unsigned>(r.pc));
        text += Printf("%-10s  %-4s  %10d %8d %6d %4d %8d  ", r.day.c_str(), pc.c_str(),
                       r.programmed, r.verified, r.failed, r.voided, r.readersPerHour) +
                r.station + "\n";
    }
    return text;
}

std::string ReportCsv(const std::vector<ReportEntry>& entries) {
    std::string text = "time,station,port,reader,pc,cnt,serial,result,void,step,durationMs\n";
    for (const ReportEntry& e : entries) {
        text += CsvField(e.time) + "," + CsvField(e.station) + "," + CsvField(e.port) + "," +
                (e.kind == EntryKind::Void ? "" : std::to_string(e.reader)) + "," +
                (e.pc < 0 ? "" : std::to_string(e.pc)) + "," +
                (e.cnt < 0 ? "" : std::to_string(e.cnt)) + "," + CsvField(e.serial) + "," +
                KindName(e.kind) + "," + (e.voided ? "yes" : "no") + "," + CsvField(e.step) + "," +
                std::to_string(e.durationMs) + "\n";
    }
    return text;
}

}  // namespace usbisp::station
