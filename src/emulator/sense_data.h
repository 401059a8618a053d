// The sense data a reader's unit reports for a command that failed: fixed
// format, 18 bytes. The bench's drives and the USB units give the same.
#pragma once

#include <array>
#include <cstdint>

namespace usbisp::sim {

using SenseData = std::array<std::uint8_t, 18>;

// Current error, fixed format: the sense key at 2, the additional sense code
// at 12 (its qualifier 0).
inline SenseData FixedSense(std::uint8_t key, std::uint8_t asc) {
    SenseData sense{};
    sense[0] = 0x70;  // current error, fixed format
    sense[2] = key;
    sense[7] = 10;  // additional length
    sense[12] = asc;
    return sense;
}

// A command the reader does not take: ILLEGAL REQUEST (sense key 5), INVALID
// COMMAND OPERATION CODE (0x20, 0x00).
inline SenseData IllegalRequestSense() {
    return FixedSense(0x05, 0x20);
}

}  // namespace usbisp::sim
