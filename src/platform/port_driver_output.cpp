#include "platform/port_driver_output.h"

#include <algorithm>

#include "platform/byte_order.h"

namespace usbisp {

namespace {

constexpr std::uint32_t kCode65 = 0x41;
constexpr std::uint32_t kCode66 = 0x42;
constexpr std::uint32_t kFirmwareRevision = 26;
constexpr std::uint32_t kRevisionLength = 8;
constexpr std::uint32_t kDataIn = 1;
// The status read's transfer, the longest a data-in record of code 0x42
// declares beyond its output.
constexpr std::uint32_t kStatusTransfer = 28;

}  // namespace

std::uint32_t PortDriverOutputLength(std::uint32_t code, const std::vector<std::uint8_t>& record,
                                     std::uint32_t outSize) {
    if (code == kCode65 && record.size() == 16 && GetLe32(record.data()) == kFirmwareRevision)
        return std::max(outSize, kRevisionLength);
    if (code == kCode66 && record.size() == 40 && GetLe32(record.data() + 28) == kDataIn) {
        const std::uint32_t transfer = GetLe32(record.data() + 32);
        if (transfer > outSize) return std::max(outSize, std::min(transfer, kStatusTransfer));
    }
    return outSize;
}

}  // namespace usbisp
