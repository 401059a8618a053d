#include "platform/image_layout.h"

#include "platform/byte_order.h"

namespace usbisp {

ImageKind ClassifyImage(std::uint8_t typeCode, std::uint8_t layoutMarker) {
    if (layoutMarker == kMarkerFE) {
        switch (typeCode) {
            case 1:
            case 2:
                return {PatchMode::Full, true, false};
            case 3:
                return {PatchMode::None, false, false};
            case 5:
                return {PatchMode::Full, false, false};
            case 6:
                return {PatchMode::Full, false, true};
            default:
                break;
        }
    }
    if (layoutMarker == kMarkerFC && typeCode == 4) return {PatchMode::None, false, false};
    return {PatchMode::SerialOnly, false, false};
}

bool DecodeAddressRecord(const std::uint8_t* bytes, std::size_t size, AddressRecord& record) {
    if (size < kAddressRecordSize) return false;
    record.baseOffset = static_cast<std::int32_t>(GetLe32(bytes));
    record.factorA = static_cast<std::int32_t>(GetLe32(bytes + 4));
    record.factorB = static_cast<std::int32_t>(GetLe32(bytes + 8));
    return true;
}

std::int64_t SerialDescriptorOffset(const ImageKind& kind, const AddressRecord& record) {
    const std::int64_t factor = std::int64_t{record.factorA} * record.factorB;
    if (kind.mode == PatchMode::SerialOnly) return std::int64_t{record.baseOffset} + 2 + factor;
    return factor;
}

}  // namespace usbisp
