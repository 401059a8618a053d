// The identity block a controller answers with, and the device record it is
// decoded into: one record per device found, ten at most.
#pragma once

#include <array>
#include <cstdint>

namespace usbisp {

inline constexpr std::size_t kIdentityBlockSize = 528;
using IdentityBlock = std::array<std::uint8_t, kIdentityBlockSize>;

inline constexpr std::size_t kDeviceSlotCount = 10;

// Bytes 188..195 of the identity block: the Memory Stick companion
// controller's revision, four 2-byte cells each stored with its bytes swapped.
inline constexpr std::size_t kMsRevisionOffset = 188;
using MsRevisionBytes = std::array<std::uint8_t, 8>;
inline constexpr std::size_t kMaxDriveLetters = 5;

struct DeviceInfo {
    std::uint32_t inUse = 0;
    std::uint8_t driveCount = 0;
    std::array<char, kMaxDriveLetters> driveLetters{};
    std::array<char, 24> usbManufacturer{};
    std::array<char, 16> usbProduct{};
    std::array<char, 12> usbSerial{};
    std::array<char, 8> inqManufacturer{};
    std::array<char, 16> inqProduct{};
    std::array<char, 4> inqRevision{};
    std::array<std::uint8_t, 2> vendorId{};   // high byte first
    std::array<std::uint8_t, 2> productId{};  // high byte first
    std::array<std::uint8_t, 8> firmwareRevision{};
    std::array<char, 8> msFirmwareRevision{};
    std::array<std::uint8_t, 3> hardwareRevision{};
    std::uint8_t aspiAdapter = 0;
    std::uint8_t aspiTarget = 0;
    std::array<std::uint8_t, 8> usb20FirmwareRevision{};
    std::array<std::uint8_t, 4> firmwareRevisionOrg{};
};

// What device discovery owns: the records, how many are in use, and the
// buffer the identity reads land in.
struct DeviceTable {
    std::array<DeviceInfo, kDeviceSlotCount> deviceSlots{};
    int deviceCount = 0;
    IdentityBlock identityBlock{};
    // The Memory Stick revision bytes of device 0 as the last port-driver scan
    // read them. The identity block holds those of the last device scanned,
    // while the Memory Stick update always addresses device 0.
    MsRevisionBytes firstDeviceMsRevision{};
    // The last scan of the drives found one that Windows would not open for
    // want of rights (Windows 2000 and XP open drives for raw requests to an
    // administrator only).
    bool driveAccessDenied = false;

    // Zeros, with bytes 154 and 155 preset to 0xFF.
    void PresetIdentityBlock() {
        identityBlock.fill(0);
        identityBlock[154] = 0xFF;
        identityBlock[155] = 0xFF;
    }
    void ClearSlots() { deviceSlots.fill(DeviceInfo{}); }

    // The record of the selected device; a selection outside the table reads
    // slot 0 rather than memory past it.
    const DeviceInfo& Selected(int selectedDevice) const {
        const bool inTable =
            selectedDevice >= 0 && selectedDevice < static_cast<int>(kDeviceSlotCount);
        return deviceSlots[static_cast<std::size_t>(inTable ? selectedDevice : 0)];
    }
};

}  // namespace usbisp
