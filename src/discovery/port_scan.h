// Finding the devices through a port driver of Windows 95/98 and ME: the
// driver counts the devices and their units, the slot of a device is its
// index, its identity comes through the driver and its drive letters from the
// registry.
#pragma once

#include <cstdint>

#include "discovery/discovery.h"

namespace usbisp {

enum class PortScanForm { Code65, Code66 };

// 0 when the scan has run; 1 when the code-66 identity read failed, 2 when on
// code 65 neither the identity reads nor the firmware revision answered. The
// code-66 scan closes the port driver at its end (and on its failure); the
// code-65 scan leaves it open for the caller, except on its failure.
std::uint8_t ScanPortDevices(DiscoveryContext& ctx, PortScanForm form);

}  // namespace usbisp
