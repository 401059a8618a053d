#include "platform/crc32.h"

#include <array>

namespace usbisp {

namespace {

// Slicing by eight: table k gives the CRC of a byte followed by k zero
// bytes, so that eight bytes are folded in per step. Every data-out request
// of a session (a whole image, several times over) passes through here.
using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables MakeTables() {
    Tables t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t crc = n;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        t[0][n] = crc;
    }
    for (std::size_t k = 1; k < 8; ++k)
        for (std::size_t n = 0; n < 256; ++n)
            t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    return t;
}

constexpr Tables kTables = MakeTables();

}  // namespace

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        const std::uint32_t low = crc ^ (data[i] | data[i + 1] << 8 | data[i + 2] << 16 |
                                         static_cast<std::uint32_t>(data[i + 3]) << 24);
        crc = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^
              kTables[5][(low >> 16) & 0xFF] ^ kTables[4][low >> 24] ^ kTables[3][data[i + 4]] ^
              kTables[2][data[i + 5]] ^ kTables[1][data[i + 6]] ^ kTables[0][data[i + 7]];
    }
    for (; i < size; ++i) crc = (crc >> 8) ^ kTables[0][(crc ^ data[i]) & 0xFF];
    return ~crc;
}

}  // namespace usbisp
