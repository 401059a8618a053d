// Which access path the firmware sequences run over: decided by the platform
// and the driver choice.
#pragma once

#include <memory>

#include "firmware/firmware.h"
#include "firmware/isp_path.h"

namespace usbisp {

// The path of the selected device, or nothing where no sequence runs (an
// unsupported platform, or a path whose transport this build does not have).
std::unique_ptr<IspPath> MakeIspPath(FirmwareContext& ctx);

// The device the sequences address.
const DeviceInfo& SelectedDevice(const FirmwareContext& ctx);

}  // namespace usbisp
