#include "discovery/identity.h"

#include <algorithm>
#include <cstdio>

#include "platform/printf_text.h"

namespace usbisp {

namespace {

// Where the fields lie in the identity block.
constexpr std::size_t kVendorId = 8;
constexpr std::size_t kProductId = 10;
constexpr std::size_t kManufacturer = 46;
constexpr std::size_t kProduct = 72;
constexpr std::size_t kSerial = 98;  // 12 UTF-16LE code units
constexpr std::size_t kFirmwareRevision = 148;
constexpr std::size_t kInqProduct = 156;
constexpr std::size_t kInqVendor = 176;
constexpr std::size_t kInqRevision = 184;
constexpr std::size_t kFirmwareRevisionOrg = 378;
constexpr std::size_t kHardwareRevision = 382;
constexpr std::size_t kUsb20FirmwareRevision = 520;

template <typename T, std::size_t N>
void CopyField(std::array<T, N>& field, const IdentityBlock& block, std::size_t offset) {
    for (std::size_t i = 0; i < N; ++i) field[i] = static_cast<T>(block[offset + i]);
}

bool IsChip7620(const std::array<std::uint8_t, 3>& hw) {
    return hw[0] == 0x76 && hw[1] == 0x20 && hw[2] == 0x43;
}

}  // namespace

std::string ChipCodeText(const std::array<std::uint8_t, 3>& hardwareRevision) {
    std::string text;
    for (std::uint8_t b : hardwareRevision) text += Printf("%02x", b);
    return text;
}

bool IsKnownChip(const std::array<std::uint8_t, 3>& hw) {
    if (IsChip7620(hw)) return true;
    if (hw[0] == 0x76 && hw[1] == 0x50) return true;
    if (hw[0] == 0x76 && hw[1] == 0x80 && hw[2] == 0x47) return true;
    // The model codes of the firmware image check, by their text.
    static constexpr const char* kModels[] = {"7340", "7344", "7310", "7410",
                                              "7440", "7460", "7311", "7353"};
    const std::string model = ChipCodeText(hw).substr(0, 4);
    return std::any_of(std::begin(kModels), std::end(kModels),
                       [&](const char* m) { return model == m; });
}

void DecodeIdentity(const IdentityBlock& block, DeviceInfo& slot, AppState& app) {
    slot.inUse = 1;
    CopyField(slot.usbManufacturer, block, kManufacturer);
    CopyField(slot.usbProduct, block, kProduct);
    CopyField(slot.inqManufacturer, block, kInqVendor);
    CopyField(slot.inqProduct, block, kInqProduct);
    CopyField(slot.inqRevision, block, kInqRevision);
    CopyField(slot.firmwareRevision, block, kFirmwareRevision);
    // Only the low byte of each serial code unit is kept.
    for (std::size_t i = 0; i < slot.usbSerial.size(); ++i)
        slot.usbSerial[i] = static_cast<char>(block[kSerial + 2 * i]);
    slot.vendorId = {block[kVendorId + 1], block[kVendorId]};
    slot.productId = {block[kProductId + 1], block[kProductId]};

    CopyField(slot.hardwareRevision, block, kHardwareRevision);
    app.chipCode = ChipCodeText(slot.hardwareRevision);
    // An unknown chip keeps its text in chipCode but not its bytes.
    if (!IsKnownChip(slot.hardwareRevision)) slot.hardwareRevision = {0, 0, 0};

    CopyField(slot.usb20FirmwareRevision, block, kUsb20FirmwareRevision);
    CopyField(slot.firmwareRevisionOrg, block, kFirmwareRevisionOrg);
    if (IsChip7620(slot.hardwareRevision)) {
        for (std::size_t i = 0; i < slot.msFirmwareRevision.size(); i += 2) {
            slot.msFirmwareRevision[i] = static_cast<char>(block[kMsRevisionOffset + i + 1]);
            slot.msFirmwareRevision[i + 1] = static_cast<char>(block[kMsRevisionOffset + i]);
        }
    } else {
        slot.msFirmwareRevision[4] = 0;
    }
}

}  // namespace usbisp
