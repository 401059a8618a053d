// CRC-32 with the zlib polynomial, for the data= field of data-out requests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace usbisp {

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size);

}  // namespace usbisp
