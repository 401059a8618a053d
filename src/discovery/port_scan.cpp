#include "discovery/port_scan.h"

#include <algorithm>

#include "device/command_set.h"
#include "device/port_driver.h"
#include "discovery/drive_letters.h"
#include "discovery/identity.h"

namespace usbisp {

namespace {

constexpr int kMaxUnits = 5;
constexpr std::size_t kFirmwareRevisionOffset = 148;
constexpr std::size_t kUsb20RevisionOffset = 520;
// A firmware revision whose seventh byte is 0x07 is that of the USB 2.0
// firmware.
constexpr std::uint8_t kUsb20Marker = 0x07;

// The two request families behind the scan.
class PortCounts {
  public:
    PortCounts(DiscoveryContext& ctx, PortScanForm form)
        : form_(form),
          code65_(ctx.platform, ctx.transports, ctx.app.selectedDevice),
          code66_(ctx.platform, ctx.transports, ctx.app.selectedDevice) {}
    std::uint8_t Devices() {
        return form_ == PortScanForm::Code66 ? code66_.GetDeviceCount() : code65_.GetDeviceCount();
    }
    std::uint8_t Units() {
        return form_ == PortScanForm::Code66 ? code66_.GetLunCount() : code65_.GetLunCount();
    }
    PortDriver65& code65() { return code65_; }
    PortDriver66& code66() { return code66_; }

  private:
    PortScanForm form_;
    PortDriver65 code65_;
    PortDriver66 code66_;
};

enum class Identity { Read, RevisionOnly, None };

// The code-65 identity of the device in selectedDevice: the block reads, the
// USB 2.0 revision when the driver reports one, or only the firmware revision.
Identity ReadIdentity65(DiscoveryContext& ctx, PortDriver65& driver) {
    DeviceTable& devices = ctx.devices;
    std::uint8_t* block = devices.identityBlock.data();
    devices.PresetIdentityBlock();
    FirmwareRevisionBytes revision{};
    if (driver.ReadIdentityBlock2(block, IdentityBlockAddress, 1) ||
        driver.ReadIdentityBlock(block, IdentityBlockAddress, 1)) {
        if (driver.GetFirmwareRevision(revision) && revision[6] == kUsb20Marker)
            std::copy(revision.begin(), revision.end(), block + kUsb20RevisionOffset);
        return Identity::Read;
    }
    devices.PresetIdentityBlock();
    if (!driver.GetFirmwareRevision(revision)) return Identity::None;
    std::copy(revision.begin(), revision.end(), block + kFirmwareRevisionOffset);
    return Identity::RevisionOnly;
}

// The Memory Stick revision bytes of the identity block as it stands.
void KeepMsRevision(const IdentityBlock& block, MsRevisionBytes& revision) {
    std::copy_n(block.begin() + kMsRevisionOffset, revision.size(), revision.begin());
}

}  // namespace

std::uint8_t ScanPortDevices(DiscoveryContext& ctx, PortScanForm form) {
    PortCounts driver(ctx, form);
    AppState& app = ctx.app;
    DeviceTable& devices = ctx.devices;
    // The count is a signed byte; below 1 the driver is taken to hold one
    // device with one unit, whose unit count is not asked.
    int count = static_cast<std::int8_t>(driver.Devices());
    int units = 0;
    if (count < 1) {
        count = 1;
        units = 1;
    }
    // Devices beyond the ten slots are not recorded.
    count = std::min(count, static_cast<int>(kDeviceSlotCount));
    devices.deviceCount = count;
    const DriveLetterKeyForm keyForm = form == PortScanForm::Code66
                                           ? DriveLetterKeyForm::PortDriver66
                                           : DriveLetterKeyForm::PortDriver65;
    auto fail = [&](std::uint8_t status) {
        ClosePortDriver(ctx.platform, ctx.transports);
        app.selectedDevice = 0;
        return status;
    };

    devices.firstDeviceMsRevision.fill(0);

    for (int i = 0; i < count; ++i) {
        app.selectedDevice = i;
        if (!(units == 1 && count == 1)) {
            units = driver.Units();
            app.selectedDriveCount = units;
        }
        // A device of no unit or of more units than a slot holds is skipped,
        // though still counted.
        if (units == 0 || units > kMaxUnits) continue;
        DeviceInfo& slot = devices.deviceSlots[static_cast<std::size_t>(i)];
        slot.driveCount = static_cast<std::uint8_t>(units);
        Identity identity = Identity::Read;
        if (form == PortScanForm::Code66) {
            devices.identityBlock.fill(0);
            if (!driver.code66().ReadIdentity(static_cast<std::uint32_t>(i),
                                              devices.identityBlock.data()))
                return fail(1);
        } else {
            identity = ReadIdentity65(ctx, driver.code65());
            if (identity == Identity::None) return fail(2);
        }
        if (i == 0) KeepMsRevision(devices.identityBlock, devices.firstDeviceMsRevision);
        // Only the firmware revision: the slot stays not in use.
        if (identity == Identity::RevisionOnly) continue;
        DecodeIdentity(devices.identityBlock, slot, app);
        for (int k = 0; k < units; ++k)
            slot.driveLetters[static_cast<std::size_t>(k)] =
                ReadDriveLetter(ctx.platform, DriveLetterKey(keyForm, slot, k));
    }
    app.selectedDevice = 0;
    if (form == PortScanForm::Code66) ClosePortDriver(ctx.platform, ctx.transports);
    return 0;
}

}  // namespace usbisp
