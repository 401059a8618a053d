// What every discovery works with, and the clearing that starts each one.
#pragma once

#include <cstdint>

#include "app/app_state.h"
#include "device/transports.h"
#include "discovery/device_info.h"
#include "platform/platform.h"
#include "updatedata/update_data.h"
#include "view/views.h"

namespace usbisp {

struct DiscoveryContext {
    Platform& platform;
    MainView& view;
    AppState& app;
    DeviceTable& devices;
    const UpdateData& updateData;
    Transports& transports;
};

// An empty table: the identity block zeroed with bytes 154 and 155 preset to
// 0xFF, the ten slots cleared, no device and no selection.
inline void ClearDeviceTable(DiscoveryContext& ctx) {
    ctx.devices.PresetIdentityBlock();
    ctx.devices.ClearSlots();
    ctx.devices.deviceCount = 0;
    ctx.devices.driveAccessDenied = false;
    ctx.app.selectedDriveCount = 0;
    ctx.app.selectedDevice = 0;
}

// Every discovery of the main window starts from an empty table and an empty
// status text.
inline void ClearForDiscovery(DiscoveryContext& ctx) {
    ClearDeviceTable(ctx);
    ctx.app.statusText.clear();
}

}  // namespace usbisp
