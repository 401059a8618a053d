// The maker's kernel driver on Windows 2000: reached as "\\.\" + the driver
// file's base name. Discovery and the pass-through count commands only check
// that it opens; the firmware sequences keep it open while they run.
#pragma once

#include <cstdint>
#include <string>

#include "device/transports.h"
#include "platform/platform.h"

namespace usbisp {

// "\\.\" and the characters of the file name before its first dot, when there
// are 1 to 14 of them; "\\.\" alone (which opens nothing) otherwise.
std::string KernelDriverPath(const std::string& driverFileName);

// Opens the driver's device exclusively into kernelDriverHandle. 0 = opened,
// 1 = failed (with a line on standard output). In check mode the handle is
// closed again at once.
std::uint8_t OpenKernelDriver(Platform& platform, Transports& transports,
                              const std::string& driverFileName, bool checkMode);

// Closes kernelDriverHandle when it is open.
void CloseKernelDriver(Platform& platform, Transports& transports);

}  // namespace usbisp
