#include "firmware/isp_dispatch.h"

#include "firmware/pass_through_path.h"

namespace usbisp {

const DeviceInfo& SelectedDevice(const FirmwareContext& ctx) {
    const int index = ctx.app.selectedDevice;
    const bool valid = index >= 0 && index < static_cast<int>(kDeviceSlotCount);
    return ctx.devices.deviceSlots[static_cast<std::size_t>(valid ? index : 0)];
}

std::unique_ptr<IspPath> MakeIspPath(FirmwareContext& ctx) {
    const AppState& app = ctx.app;
    const bool passThrough =
        app.osKind == OsWinXP || (app.osKind == OsWin2000 && app.selfDriverMode != 1);
    if (passThrough)
        return std::make_unique<PassThroughPath>(ctx.platform, ctx.transports, SelectedDevice(ctx));
    // Windows 95/98 and ME (port drivers, ASPI) and the Windows 2000 kernel
    // driver join here with their transports.
    return nullptr;
}

}  // namespace usbisp
