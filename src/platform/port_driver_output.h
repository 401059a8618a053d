// What a Windows 9x port driver writes behind the output pointer it is
// handed: more than the declared output for two requests, which the program
// gives buffers of the real size. The recorder keeps those bytes and the
// replay gives them back, no more.
#pragma once

#include <cstdint>
#include <vector>

namespace usbisp {

// The bytes the driver writes for the request `record` of `code` (0x41,
// 0x42) with an output declared as `outSize`: the firmware revision (code
// 0x41, function 26) fills eight behind its one, the code-0x42 status read
// the 28 of its transfer length behind its eight. Every other request,
// `outSize`.
std::uint32_t PortDriverOutputLength(std::uint32_t code, const std::vector<std::uint8_t>& record,
                                     std::uint32_t outSize);

}  // namespace usbisp
