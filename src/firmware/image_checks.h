// Whether an image suits the attached controller: decided from the image's two
// header bytes and the controller's hardware revision alone.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace usbisp {

using HardwareTriple = std::array<std::uint8_t, 3>;

// The box text of the first check the image fails on this controller, or
// nullptr when it passes them all. `chipCode` is the hexadecimal text of the
// controller's hardware revision; its first four characters are the model.
const char* CheckCompatibility(std::uint8_t typeCode, std::uint8_t layoutMarker,
                               const HardwareTriple& triple, std::string_view chipCode);

}  // namespace usbisp
