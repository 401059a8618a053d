#include "emulator/firmware_identity.h"

#include <algorithm>
#include <string>

namespace usbisp::sim {

namespace {

using namespace identity_block;

// The image's bytes [offset, offset + width), or false when they are not all
// inside it.
bool Field(const std::vector<std::uint8_t>& image, std::int64_t offset, std::size_t width,
           std::string& bytes) {
    if (offset < 0 ||
        offset + static_cast<std::int64_t>(width) > static_cast<std::int64_t>(image.size()))
        return false;
    const auto from = image.begin() + static_cast<std::ptrdiff_t>(offset);
    bytes.assign(from, from + static_cast<std::ptrdiff_t>(width));
    return true;
}

// A string slot's text: up to its first zero byte, without trailing blanks.
std::string SlotText(std::string text) {
    text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

// The low bytes of `count` 16-bit character cells, up to the first zero.
bool CellText(const std::vector<std::uint8_t>& image, std::int64_t offset, std::size_t count,
              std::string& text) {
    std::string cells;
    if (!Field(image, offset, 2 * count, cells)) return false;
    text.clear();
    for (std::size_t i = 0; i < count && cells[2 * i] != '\0'; ++i) text += cells[2 * i];
    return true;
}

// A USB string as a full-layout image holds it: the slot's length byte, when
// the image has them, says how many characters it has.
bool SlotString(const std::vector<std::uint8_t>& image, const ImageKind& kind, std::int64_t p,
                std::int64_t lengthAt, std::int64_t textAt, std::string& text) {
    if (!Field(image, p + textAt, kStringChars, text)) return false;
    if (kind.lengthBytes) {
        std::string length;
        if (!Field(image, p + lengthAt, 1, length)) return false;
        const int chars = static_cast<std::uint8_t>(length[0]) / 2 - 1;
        text.resize(static_cast<std::size_t>(std::clamp(chars, 0, static_cast<int>(kStringChars))));
    }
    text = SlotText(text);
    return true;
}

}  // namespace

bool TakeFirmwareIdentity(const std::vector<std::uint8_t>& image, const AddressRecord& layout,
                          ReaderConfig& reader) {
    if (image.size() < 2) return false;
    const ImageKind kind = ClassifyImage(image[0], image[1]);
    if (kind.mode == PatchMode::None) return false;
    std::string serial;
    if (kind.mode == PatchMode::SerialOnly) {
        // Past the descriptor's length and type bytes.
        if (!CellText(image, SerialDescriptorOffset(kind, layout) + 2, kSerialChars, serial))
            return false;
        reader.serial = serial;
        return true;
    }
    const std::int64_t p = std::int64_t{layout.baseOffset} + kIdentityStart;
    std::string manufacturer, product, vendor, inquiryProduct, revision;
    if (!SlotString(image, kind, p, kManufactureLength, kManufacture, manufacturer) ||
        !SlotString(image, kind, p, kProductLength, kProduct, product) ||
        !CellText(image, p + kUserSerial, kSerialChars, serial) ||
        !Field(image, p + kInquiryManufacture, 8, vendor) ||
        !Field(image, p + kInquiryProduct, 16, inquiryProduct) ||
        !Field(image, p + kInquiryVersion, 4, revision))
        return false;
    reader.manufacturer = manufacturer;
    reader.product = product;
    reader.serial = serial;
    reader.inquiryVendor = vendor;
    reader.inquiryProduct = inquiryProduct;
    reader.inquiryRevision = revision;
    return true;
}

}  // namespace usbisp::sim
