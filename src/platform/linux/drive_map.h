// The drive letters of the Linux layer: which device stands behind "\\.\E:".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace usbisp::lnx {

struct LinuxDrive {
    char letter = 0;     // 'C' to 'Z'
    std::string device;  // "/dev/sg2": the node found at start, or the one --drive names
    // Where the reader sits on the bus (ScsiNode::place): the letter follows
    // it to whatever sg node it has after a replug. Empty for --drive, whose
    // letter stays with the node named.
    std::string place;
    std::string placeName;  // "USB port 2-1", for the messages
};

// The first letter the readers found get, and how many there are up to Z:.
inline constexpr char kFirstReaderLetter = 'E';
inline constexpr std::size_t kReaderLetters = 'Z' - kFirstReaderLetter + 1;

// One --drive value, "E=/dev/sg2" (the letter in either case, C to Z). On a
// bad one returns nothing and says why in `error`.
std::optional<LinuxDrive> ParseDriveOption(std::string_view text, std::string& error);

}  // namespace usbisp::lnx
