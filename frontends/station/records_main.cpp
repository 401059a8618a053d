#include "station/records_main.h"

#include <fstream>
#include <ostream>

#include "station/records_link.h"
#include "station/records_report.h"
#include "station/records_store.h"

namespace usbisp::station {

namespace {

constexpr const char* kUsage =
    "usage: usbisp --records URL --init\n"
    "       usbisp --records URL --report [--since YYYY-MM-DD] [--csv]\n"
    "       usbisp --report LOG [--since YYYY-MM-DD] [--csv]\n";
// A log line longer than this is no line of a station's.
constexpr std::size_t kMaxLogLine = 64 * 1024;

struct RecordsOptions {
    std::string url;
    bool init = false;
    bool report = false;
    std::string log;
    std::string since;
    bool csv = false;
};

bool Parse(const std::vector<std::string>& args, RecordsOptions& o, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0;
        if (arg == "--records" || arg == "--since") {
            if (!hasValue) {
                error = arg + " needs a value";
                return false;
            }
            (arg == "--records" ? o.url : o.since) = args[++i];
        } else if (arg == "--report") {
            o.report = true;
            if (hasValue) o.log = args[++i];
        } else if (arg == "--init") {
            o.init = true;
        } else if (arg == "--csv") {
            o.csv = true;
        } else {
            error = "unknown argument \"" + arg + "\" with --records or --report";
            return false;
        }
    }
    if (o.init == o.report) {
        error = "give one of --init and --report";
    } else if (o.init && o.url.empty()) {
        error = "--init goes with --records URL";
    } else if (o.report && o.url.empty() == o.log.empty()) {
        error = "--report reads either the database (--records URL) or a log (--report LOG)";
    } else if (o.init && (o.csv || !o.since.empty())) {
        error = "--since and --csv go with --report";
    } else if (!o.since.empty() && !IsDay(o.since)) {
        error = "--since needs a day, YYYY-MM-DD";
    } else {
        return true;
    }
    return false;
}

long Number(const std::optional<std::string>& value) {
    if (!value) return -1;
    try {
        return std::stol(*value);
    } catch (...) {
        return -1;
    }
}

std::string TextOf(const std::optional<std::string>& value) {
    return value.value_or("");
}

bool EntriesFromDatabase(DbLink& link, const std::string& since, std::vector<ReportEntry>& entries,
                         std::string& error) {
    // The readers, and the numbers voided without a reader (a crash).
    DbResult result = link.Exec(
        "SELECT station, to_char(time, 'YYYY-MM-DD\"T\"HH24:MI:SS.MS'), pc, cnt, port, reader, "
        "serial, result, step, duration_ms FROM usbisp_reader WHERE time >= $1::date "
        "UNION ALL "
        "SELECT r.station, to_char(r.time, 'YYYY-MM-DD\"T\"HH24:MI:SS.MS'), r.pc, r.cnt, r.port, "
        "r.reader, NULL, 'void', NULL, 0 FROM usbisp_reservation r WHERE r.state = 'void' "
        "AND r.time >= $1::date AND NOT EXISTS (SELECT 1 FROM usbisp_reader d "
        "WHERE d.pc = r.pc AND d.cnt = r.cnt) "
        "ORDER BY 2, 1",
        {since.empty() ? "1970-01-01" : since});
    if (!result.ok) {
        error = result.error;
        return false;
    }
    if (result.truncated) {
        error = "more records than one report holds: give a later --since";
        return false;
    }
    for (const auto& row : result.rows) {
        if (row.size() != 10) continue;
        ReportEntry e;
        e.station = TextOf(row[0]);
        e.time = TextOf(row[1]);
        e.pc = static_cast<int>(Number(row[2]));
        e.cnt = Number(row[3]);
        e.port = TextOf(row[4]);
        e.reader = static_cast<int>(std::max(0L, Number(row[5])));
        e.serial = TextOf(row[6]);
        const std::string kind = TextOf(row[7]);
        e.kind = kind == "programmed" ? EntryKind::Programmed
                 : kind == "verified" ? EntryKind::Verified
                 : kind == "void"     ? EntryKind::Void
                                      : EntryKind::Failed;
        e.voided = e.kind == EntryKind::Void || (e.kind == EntryKind::Failed && e.pc >= 0);
        e.step = TextOf(row[8]);
        e.durationMs = static_cast<std::uint64_t>(std::max(0L, Number(row[9])));
        entries.push_back(std::move(e));
    }
    return true;
}

bool EntriesFromLogFile(const std::string& path, std::vector<ReportEntry>& entries,
                        std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot read the production log";
        return false;
    }
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line.size() <= kMaxLogLine) lines.push_back(std::move(line));
    entries = EntriesFromLog(lines, path);
    return true;
}

}  // namespace

bool IsRecordsCommand(const std::vector<std::string>& args) {
    bool records = false;
    for (const std::string& arg : args) {
        if (arg == "--station") return false;
        records = records || arg == "--records" || arg == "--report";
    }
    return records;
}

int RecordsMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    RecordsOptions o;
    std::string error;
    if (!Parse(args, o, error)) {
        err << "usbisp: " << error << "\n" << kUsage;
        return 2;
    }
    std::vector<ReportEntry> entries;
    if (!o.log.empty()) {
        if (!EntriesFromLogFile(o.log, entries, error)) {
            err << "usbisp: " << error << "\n";
            return 1;
        }
    } else {
        DbLink link;
        if (!link.Connect(o.url, error)) {
            err << "usbisp: cannot reach the line's database: " << error << "\n";
            return 1;
        }
        if (o.init) {
            const bool made = InitSchema(link, error);
            (made ? out : err) << (made ? "" : "usbisp: ") << error << "\n";
            return made ? 0 : 1;
        }
        if (!CheckSchema(link, error) || !EntriesFromDatabase(link, o.since, entries, error)) {
            err << "usbisp: " << error << "\n";
            return 1;
        }
    }
    entries = Since(std::move(entries), o.since);
    out << (o.csv ? ReportCsv(entries) : ReportText(CountEntries(entries)));
    return 0;
}

}  // namespace usbisp::station
