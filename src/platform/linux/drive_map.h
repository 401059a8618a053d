// The drive letters of the Linux layer: which device stands behind "\\.\E:".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace usbisp::lnx {

struct LinuxDrive {
    char letter = 0;     // 'C' to 'Z'
    std::string device;  // "/dev/sg2"
};

// E:, F:, ... for the devices in their order; beyond Z: none.
std::vector<LinuxDrive> AssignLetters(const std::vector<std::string>& devices);

// One --drive value, "E=/dev/sg2" (the letter in either case, C to Z). On a
// bad one returns nothing and says why in `error`.
std::optional<LinuxDrive> ParseDriveOption(std::string_view text, std::string& error);

}  // namespace usbisp::lnx
