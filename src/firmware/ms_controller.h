// The Memory Stick companion controller that some card readers carry: a main
// firmware ("MS 32K") and a small loader ("MS 4K_ISPCode") that takes a new
// image. It is reached through the code-65 port driver, always as device 0,
// and tells its revision through bytes 188..195 of the reader's identity
// block.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "discovery/device_info.h"
#include "firmware/firmware.h"

namespace usbisp {

inline constexpr std::size_t kMsJumpBlockSize = 512;
using MsJumpBlock = std::array<std::uint8_t, kMsJumpBlockSize>;

// 0xAA, 0x55, 0xBB, 0x66, then zeros. Written to the identity block address it
// moves the companion from its main firmware into its loader, or back.
MsJumpBlock MakeMsJumpBlock();

// The eight revision bytes as text: each 2-byte cell with its bytes swapped
// back, every byte one character, a zero byte adding none.
std::string MsRevisionText(const MsRevisionBytes& bytes);

// The main firmware revisions whose loader cannot compare an image and which
// are not switched back after programming.
bool IsOldMsMainFirmware(const std::string& revision);

// Selects device 0 and writes the switch block to it. On failure the operator
// sees "Write data Error\n", the port driver is closed and the result is
// false; the caller then says what it was switching for.
bool MsJump(FirmwareContext& ctx);

}  // namespace usbisp
