// The line's report: counts per station, PC and day (programmed, verified,
// failed, void, readers per hour) and the records themselves as CSV, from
// the line's database or from one station's production log.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace usbisp::station {

enum class EntryKind { Programmed, Verified, Failed, Void };

// One reader, or one number voided without a reader (a crash).
struct ReportEntry {
    std::string station;
    std::string time;  // "2003-11-18T09:30:00.100", the station's clock
    int pc = -1;       // -1: the reader had no number
    long cnt = -1;
    std::string port;
    int reader = 0;
    std::string serial;
    EntryKind kind = EntryKind::Failed;
    bool voided = false;  // a failed reader's number, or a number without a reader
    std::string step;
    std::uint64_t durationMs = 0;
};

struct ReportRow {
    std::string day;  // "2003-11-18"
    int pc = -1;
    std::string station;
    int programmed = 0;
    int verified = 0;
    int failed = 0;
    int voided = 0;
    int readersPerHour = 0;
};

// The entries of a production log's lines (reader and void lines; others,
// and lines that are not JSON, are passed over). `station`: whose log it is.
std::vector<ReportEntry> EntriesFromLog(const std::vector<std::string>& lines,
                                        const std::string& station);

// Entries of that day or later ("YYYY-MM-DD"; empty: all).
std::vector<ReportEntry> Since(std::vector<ReportEntry> entries, const std::string& day);
// Whether a --since value is a day "YYYY-MM-DD".
bool IsDay(const std::string& text);

// Rows by day, PC and station, then the line's total (station "line").
// Readers per hour: the readers over the time from the first one's start to
// the last one's end.
std::vector<ReportRow> CountEntries(const std::vector<ReportEntry>& entries);

std::string ReportText(const std::vector<ReportRow>& rows);
std::string ReportCsv(const std::vector<ReportEntry>& entries);

// Milliseconds since 1970 of a log time, -1 when it is not one.
long long TimeMs(const std::string& time);

}  // namespace usbisp::station
