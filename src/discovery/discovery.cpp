#include "discovery/discovery.h"

namespace usbisp {

// No transport is built yet: no maker's driver opens, and discovery finds no
// device.
std::uint8_t OpenAccessPath(DiscoveryContext&) { return 1; }

std::uint8_t DiscoverDevices(DiscoveryContext& ctx) {
    ctx.devices.PresetIdentityBlock();
    ctx.devices.ClearSlots();
    ctx.devices.deviceCount = 0;
    ctx.app.selectedDriveCount = 0;
    ctx.app.selectedDevice = 0;
    ctx.app.statusText.clear();
    return 0;
}

void ClosePortDriver(DiscoveryContext&) {}

}  // namespace usbisp
