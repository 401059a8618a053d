#include "emulator/reader_identity.h"

#include <algorithm>
#include <vector>

namespace usbisp::sim {

namespace {

// A text or bytes into its field, cut at the field's width (the bench file
// checks the lengths; the cut only keeps a bad call inside the block).
void PlaceBytes(std::uint8_t* field, std::size_t width, const std::uint8_t* bytes,
                std::size_t size) {
    std::copy_n(bytes, std::min(size, width), field);
}

template <std::size_t N>
void Place(std::array<std::uint8_t, N>& block, std::size_t offset, const std::string& text,
           std::size_t width) {
    PlaceBytes(block.data() + offset, std::min(width, N - offset),
               reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

template <std::size_t N>
void Place(std::array<std::uint8_t, N>& block, std::size_t offset,
           const std::vector<std::uint8_t>& bytes, std::size_t width) {
    PlaceBytes(block.data() + offset, std::min(width, N - offset), bytes.data(), bytes.size());
}

}  // namespace

SimIdentityBlock BuildIdentityBlock(const ReaderConfig& r, const std::string& msRevision) {
    SimIdentityBlock block{};
    block[8] = static_cast<std::uint8_t>(r.vid & 0xFF);
    block[9] = static_cast<std::uint8_t>(r.vid >> 8);
    block[10] = static_cast<std::uint8_t>(r.pid & 0xFF);
    block[11] = static_cast<std::uint8_t>(r.pid >> 8);
    Place(block, 46, r.manufacturer, 24);
    Place(block, 72, r.product, 16);
    const std::size_t serialLength = std::min<std::size_t>(r.serial.size(), 12);
    for (std::size_t i = 0; i < serialLength; ++i) {
        block[98 + 2 * i] = static_cast<std::uint8_t>(r.serial[i]);
        block[98 + 2 * i + 1] = 0;
    }
    Place(block, 148, r.firmwareRevision, 8);
    Place(block, 156, r.inquiryProduct, 16);
    Place(block, 176, r.inquiryVendor, 8);
    Place(block, 184, r.inquiryRevision, 4);
    // The companion controller's revision, stored a 2-byte cell at a time with
    // its bytes swapped.
    std::string ms = msRevision.substr(0, 8);
    ms.resize(8, '\0');
    for (std::size_t i = 0; i < 8; i += 2) {
        block[188 + i] = static_cast<std::uint8_t>(ms[i + 1]);
        block[188 + i + 1] = static_cast<std::uint8_t>(ms[i]);
    }
    Place(block, 378, r.firmwareRevisionOrg, 4);
    Place(block, 382, r.hardwareRevision, 3);
    Place(block, 520, r.usb20FirmwareRevision, 8);
    return block;
}

std::array<std::uint8_t, 36> BuildInquiryData(const std::string& vendor, const std::string& product,
                                              const std::string& revision, bool removable) {
    std::array<std::uint8_t, 36> data{};
    data[0] = 0x00;  // direct-access device
    data[1] = removable ? 0x80 : 0x00;
    data[2] = 0x02;  // SCSI-2
    data[3] = 0x02;  // response data format
    data[4] = 31;    // additional length
    // Inquiry texts are space-padded.
    std::fill(data.begin() + 8, data.end(), static_cast<std::uint8_t>(' '));
    Place(data, 8, vendor, 8);
    Place(data, 16, product, 16);
    Place(data, 32, revision, 4);
    return data;
}

}  // namespace usbisp::sim
