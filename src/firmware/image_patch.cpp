#include "firmware/image_patch.h"

#include <algorithm>

namespace usbisp {

namespace {

using namespace identity_block;

template <std::size_t N>
std::vector<std::uint8_t> Bytes(const std::array<char, N>& text, std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count && i < N; ++i) bytes[i] = static_cast<std::uint8_t>(text[i]);
    return bytes;
}

std::vector<std::uint8_t> Word(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value & 0xFF),
            static_cast<std::uint8_t>((value >> 8) & 0xFF)};
}

std::uint8_t StringLengthByte(int length) {
    return static_cast<std::uint8_t>((length + 1) * 2);
}

void PlanFull(const ImageKind& kind, const AddressRecord& record, const UpdateData& data,
              const SerialDescriptor& descriptor, std::vector<PatchWrite>& writes) {
    const std::int64_t p = std::int64_t{record.baseOffset} + kIdentityStart;
    auto add = [&](std::int64_t at, std::vector<std::uint8_t> bytes) {
        writes.push_back({p + at, std::move(bytes)});
    };
    if (data.vidActive) add(kVid, Word(data.vid));
    if (data.pidActive) add(kPid, Word(data.pid));
    if (data.stringManufactureLength != 0) {
        if (kind.lengthBytes)
            add(kManufactureLength, {StringLengthByte(data.stringManufactureLength)});
        add(kManufacture, Bytes(data.stringManufacture, kStringChars));
    }
    if (data.stringProductLength != 0) {
        if (kind.lengthBytes) add(kProductLength, {StringLengthByte(data.stringProductLength)});
        add(kProduct, Bytes(data.stringProduct, kStringChars));
    }
    if (data.strSerialActive) {
        // The low byte of each 16-bit character cell; the high bytes stay.
        for (std::size_t i = 0; i < kSerialLength; ++i)
            add(kUserSerial + 2 * static_cast<std::int64_t>(i),
                {static_cast<std::uint8_t>(data.strSerial[i])});
    }
    if (data.inquiryManufactureActive) add(kInquiryManufacture, Bytes(data.inquiryManufacture, 8));
    if (data.inquiryProductActive) add(kInquiryProduct, Bytes(data.inquiryProduct, 16));
    if (data.inquiryVersionActive) add(kInquiryVersion, Bytes(data.inquiryVersion, 4));
    if (kind.deviceSettings && data.deviceSettingActive)
        add(kDeviceSetting, {data.deviceSetting.begin(), data.deviceSetting.end()});
    if (!data.strSerialActive)
        add(SerialDescriptorOffset(kind, record), {descriptor.begin(), descriptor.end()});
}

}  // namespace

std::vector<PatchWrite> PlanPatch(const ImageKind& kind, const AddressRecord& record,
                                  const UpdateData& data, const SerialDescriptor& descriptor) {
    std::vector<PatchWrite> writes;
    switch (kind.mode) {
        case PatchMode::None:
            break;
        case PatchMode::Full:
            PlanFull(kind, record, data, descriptor, writes);
            break;
        case PatchMode::SerialOnly: {
            SerialDescriptor stamped = descriptor;
            if (data.strSerialActive) {
                for (std::size_t i = 0; i < kSerialLength; ++i)
                    stamped[2 + 2 * i] = static_cast<std::uint8_t>(data.strSerial[i]);
            }
            writes.push_back(
                {SerialDescriptorOffset(kind, record), {stamped.begin(), stamped.end()}});
            break;
        }
    }
    return writes;
}

bool PatchFitsImage(const std::vector<PatchWrite>& writes, std::uint32_t length) {
    return std::all_of(writes.begin(), writes.end(), [&](const PatchWrite& w) {
        return w.offset >= 0 &&
               w.offset + static_cast<std::int64_t>(w.bytes.size()) <= std::int64_t{length};
    });
}

bool ApplyPatch(const std::vector<PatchWrite>& writes, FirmwareImage& image) {
    const std::uint32_t length =
        std::min<std::uint32_t>(image.length, static_cast<std::uint32_t>(image.bytes.size()));
    if (!PatchFitsImage(writes, length)) return false;
    for (const PatchWrite& w : writes)
        std::copy(w.bytes.begin(), w.bytes.end(),
                  image.bytes.begin() + static_cast<std::ptrdiff_t>(w.offset));
    return true;
}

}  // namespace usbisp
