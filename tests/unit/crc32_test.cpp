// The CRC-32 of the io trace's data= field: the zlib polynomial at every
// length, whatever the split into eight-byte steps.
#include "platform/sim/crc32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace usbisp::sim {
namespace {

std::uint32_t Of(const std::string& text) {
    return Crc32(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// One bit at a time, as the polynomial is defined.
std::uint32_t Bitwise(const std::vector<std::uint8_t>& data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

TEST(Crc32, KnownValues) {
    EXPECT_EQ(Of(""), 0x00000000u);
    EXPECT_EQ(Of("123456789"), 0xCBF43926u);
    EXPECT_EQ(Of("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
}

TEST(Crc32, EveryLengthAgreesWithTheBitwiseDefinition) {
    std::vector<std::uint8_t> data;
    for (int n = 0; n < 40; ++n) {
        EXPECT_EQ(Crc32(data.data(), data.size()), Bitwise(data)) << n;
        data.push_back(static_cast<std::uint8_t>(n * 37 + 0x80));
    }
}

}  // namespace
}  // namespace usbisp::sim
