// The station's production log, as a restarted station reads it: any lines
// (one cut short by a crash, a file edited by hand) give the last counter and
// what follows it, and a counter line and a void line written after them are
// then what the scan finds.
#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "station/log_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace usbisp;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    const station::SinceLastCounter before = station::ScanLog(lines);
    if (!before.found && !before.accounted.empty()) __builtin_trap();

    // The counter and number come from the input, so that they meet its lines.
    const std::uint32_t pc = size > 0 ? data[0] : 1;
    const std::uint32_t cnt = size > 1 ? data[1] * 256u + data[size - 1] : 0x123;
    lines.push_back(station::CounterLine("2003-11-18T09:30:00.000", SerialCounter{0x57, pc, cnt}));
    lines.push_back(station::VoidLine("2003-11-18T09:30:01.000", pc, cnt + 1));
    const station::SinceLastCounter after = station::ScanLog(lines);
    if (!after.found || after.pc != pc || after.cnt != cnt) __builtin_trap();
    if (after.accounted != std::set<std::uint32_t>{cnt + 1}) __builtin_trap();
    return 0;
}
