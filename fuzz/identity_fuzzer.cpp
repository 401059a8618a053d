// Identity decoding: any 528 bytes a controller answers become a device
// record, its chip check and the device report.
#include <algorithm>

#include "discovery/identity.h"
#include "fuzz_support.h"
#include "ui/device_report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace usbisp;
    IdentityBlock block{};
    std::copy_n(data, std::min(size, block.size()), block.begin());
    AppState app;
    app.osKind = size % 5;
    DeviceTable devices;
    devices.deviceCount = 1;
    DecodeIdentity(block, devices.deviceSlots[0], app);
    IsKnownChip(devices.deviceSlots[0].hardwareRevision);
    const DeviceReport report = BuildDeviceReport(app, devices);
    if (app.chipCode.size() != 6) __builtin_trap();
    return report.report.empty() ? 1 : 0;
}
