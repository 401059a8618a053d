// Opening the access path and finding the attached devices on it.
#pragma once

#include <cstdint>

#include "app/app_state.h"
#include "device/transports.h"
#include "discovery/device_info.h"
#include "platform/platform.h"
#include "updatedata/update_data.h"

namespace usbisp {

struct DiscoveryContext {
    Platform& platform;
    AppState& app;
    DeviceTable& devices;
    const UpdateData& updateData;
    Transports& transports;
};

// Opens the maker's driver of the chosen path (port driver on Windows 95/98
// and ME, kernel driver on Windows 2000). 0 on success.
std::uint8_t OpenAccessPath(DiscoveryContext& ctx);

// Clears the table and finds the devices of the current path. 1 or 2 when the
// device is not ready, anything else when discovery has run.
std::uint8_t DiscoverDevices(DiscoveryContext& ctx);

// The device and unit counts of the access path (the unit count of
// selectedDevice). Only the kernel driver path of Windows 2000 answers them
// so far; every other path gives 0.
std::uint8_t GetDeviceCount(DiscoveryContext& ctx);
std::uint8_t GetLunCount(DiscoveryContext& ctx);

// Closes the port driver's handle after a discovery that found the device not
// ready.
void ClosePortDriver(DiscoveryContext& ctx);

}  // namespace usbisp
