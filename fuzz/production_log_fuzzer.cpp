// The production log as a station reads it back at its start: any bytes,
// cut into lines, squared for the PC of the first byte. A line of any shape
// is passed over or counted, never trusted past its type: what the scan
// finds must hold together.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "station/log_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace usbisp::station;
    if (size == 0) return 0;
    const std::uint32_t pc = data[0];
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 1; i < size; ++i) {
        if (data[i] == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(data[i]);
        }
    }
    if (!line.empty()) lines.push_back(line);
    const PcHistory history = ScanLog(lines, pc);
    // Numbers are accounted for only after a counter line of the PC.
    if (!history.found && (!history.accounted.empty() || history.ended)) __builtin_trap();
    return 0;
}
