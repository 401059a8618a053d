// What the reader writes to FunctionFS's ep0 before the function can be
// bound: the descriptors of its interface at full and at high speed, and its
// strings (none: the interface has no name of its own; the device's strings
// are the gadget's).
#pragma once

#include <cstdint>
#include <vector>

namespace usbisp::reader {

std::vector<std::uint8_t> FunctionFsDescriptors();
std::vector<std::uint8_t> FunctionFsStrings();

}  // namespace usbisp::reader
