// The report of a production log: any bytes as the log's lines, then the
// counts, the text and the CSV. Each count is one reader or number, so the
// line's total row must hold exactly what the entries do.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "station/records_report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace usbisp::station;
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(data[i]);
        }
    }
    lines.push_back(line);
    const std::vector<ReportEntry> entries = Since(EntriesFromLog(lines, "fuzz"), "2003-01-01");
    const std::vector<ReportRow> rows = CountEntries(entries);
    ReportText(rows);
    ReportCsv(entries);
    if (entries.empty() != rows.empty()) __builtin_trap();
    if (!rows.empty()) {
        const ReportRow& total = rows.back();
        const std::size_t readers = static_cast<std::size_t>(total.programmed) +
                                    static_cast<std::size_t>(total.verified) +
                                    static_cast<std::size_t>(total.failed);
        std::size_t voids = 0;
        for (const ReportEntry& e : entries) voids += e.kind == EntryKind::Void;
        if (readers + voids != entries.size() || total.readersPerHour < 0) __builtin_trap();
    }
    return 0;
}
