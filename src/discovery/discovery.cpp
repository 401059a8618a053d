#include "discovery/discovery.h"

#include "device/kernel_driver.h"
#include "device/pass_through.h"
#include "discovery/drive_scan.h"

namespace usbisp {

namespace {

bool OnKernelDriverPath(const AppState& app) {
    return app.osKind == OsWin2000 && app.selfDriverMode == 1;
}

}  // namespace

std::uint8_t OpenAccessPath(DiscoveryContext& ctx) {
    // Windows 2000 with the maker's driver: only check that it is there.
    if (OnKernelDriverPath(ctx.app))
        return OpenKernelDriver(ctx.platform, ctx.transports, ctx.app.driverFileName, true);
    // The port drivers of Windows 95/98 and ME are not reachable yet.
    return 1;
}

std::uint8_t DiscoverDevices(DiscoveryContext& ctx) {
    ctx.devices.PresetIdentityBlock();
    ctx.devices.ClearSlots();
    ctx.devices.deviceCount = 0;
    ctx.app.selectedDriveCount = 0;
    ctx.app.selectedDevice = 0;
    ctx.app.statusText.clear();
    switch (ctx.app.osKind) {
        case OsWin2000:
            return ScanDrives(ctx, ctx.app.selfDriverMode == 1 ? DriveScanForm::OwnDriver
                                                               : DriveScanForm::Generic);
        case OsWinXP:
            return ScanDrives(ctx, DriveScanForm::Generic);
        default:
            // The port-driver and ASPI scans are not reachable yet.
            return 1;
    }
}

std::uint8_t GetDeviceCount(DiscoveryContext& ctx) {
    if (!OnKernelDriverPath(ctx.app)) return 0;
    PassThrough pt(ctx.platform, ctx.transports);
    return pt.GetDeviceCount(ctx.app.driverFileName);
}

std::uint8_t GetLunCount(DiscoveryContext& ctx) {
    if (!OnKernelDriverPath(ctx.app)) return 0;
    PassThrough pt(ctx.platform, ctx.transports);
    return pt.GetLunCount(ctx.app.driverFileName);
}

void ClosePortDriver(DiscoveryContext&) {}

}  // namespace usbisp
