// What a card reader says about itself: its identity block and its inquiry
// data, built from the reader's keys of the bench file.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "emulator/reader_config.h"

namespace usbisp::sim {

inline constexpr std::size_t kSimIdentityBlockSize = 528;
using SimIdentityBlock = std::array<std::uint8_t, kSimIdentityBlockSize>;

// The identity block: identifiers little-endian at 8 and 10, the USB strings
// at 46 and 72, the serial as UTF-16LE at 98, the revisions at 148, 378, 382
// and 520, the inquiry texts at 156, 176 and 184, and the Memory Stick
// revision `msRevision` at 188 with each pair of bytes swapped. Every other
// byte is zero.
SimIdentityBlock BuildIdentityBlock(const ReaderConfig& reader, const std::string& msRevision);

// Standard inquiry data, 36 bytes: peripheral type 0 (direct access), the
// removable bit, and vendor, product and revision at 8, 16 and 32,
// space-padded to 8, 16 and 4 characters.
std::array<std::uint8_t, 36> BuildInquiryData(const std::string& vendor, const std::string& product,
                                              const std::string& revision, bool removable);

}  // namespace usbisp::sim
