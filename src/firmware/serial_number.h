// Serial numbers: the 12 characters built from the counter and the date, the
// USB string descriptor that carries them, and the text of SERIAL.TXT.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "firmware/firmware_state.h"
#include "platform/platform.h"

namespace usbisp {

inline constexpr std::uint32_t kSerialPrefix = 0x57;  // CEM after every read
inline constexpr std::size_t kSerialLength = 12;
inline constexpr std::size_t kSerialDescriptorSize = 26;

using SerialNumber = std::array<char, kSerialLength>;
using SerialDescriptor = std::array<std::uint8_t, kSerialDescriptorSize>;

// CEM (two digits), the date packed into four, PC (two) and CNT (four), each
// an upper-case hexadecimal digit of four bits.
SerialNumber BuildSerialNumber(const SerialCounter& counter, const LocalTime& date);

// A USB string descriptor: length 26, type 3, the characters as UTF-16LE.
SerialDescriptor BuildSerialDescriptor(const SerialNumber& serial);

// Reads up to three hexadecimal numbers (CEM, PC, CNT, as "%x" reads them)
// from the file's text. The scan stops at the first value that does not
// parse; that value and the ones after it keep what memory holds. False
// unless all three were read: when the scan stopped at a malformed value (a
// sign, a 0x without digits, more than 32 bits) or found fewer than three
// (an empty file, one cut short, other words), which the caller refuses like
// an out-of-range counter.
bool ParseSerialText(std::string_view text, SerialCounter& counter);

// Whether the text is exactly what FormatSerialText writes for some counter:
// a file that was written whole, not one cut short.
bool IsWholeSerialText(std::string_view text);

// The text SERIAL.TXT is written with: "0x%x 0x%x 0x%x ".
std::string FormatSerialText(const SerialCounter& counter);

// Whether PC and CNT lie in the ranges a serial number can carry.
bool SerialCounterInRange(const SerialCounter& counter);

// CNT + 1, wrapping past 0xFFFF to 0.
void AdvanceSerialCounter(SerialCounter& counter);

}  // namespace usbisp
