// Finding the devices through ASPI (Windows ME without "SelfDriverSel"): every
// target of every host adapter is asked for its inquiry data, a unit that
// answers with one of the identities of DEVICE.TXT is read and recorded with
// its adapter and target, and the drive letters come from the registry.
#pragma once

#include <cstdint>

#include "discovery/discovery.h"

namespace usbisp {

// 0 when a device was found; 1 when none was, when ASPI cannot be loaded (with
// a line on standard output and a box), when it has no host adapter or is not
// ready, or when an identity read ends with an error (with a box). ASPI is
// loaded and unloaded within the scan.
std::uint8_t ScanAspiAdapters(DiscoveryContext& ctx);

// Whether the unit at adapter and target is still the selected device: the
// same inquiry text and the same nine identity fields. 0 when it is, 1 when it
// is not or cannot be told (a failed identity read shows its box). The fresh
// identity is decoded into a record of its own, never into a slot of the
// table.
std::uint8_t AspiConfirmDevice(DiscoveryContext& ctx, std::uint8_t adapter, std::uint8_t target);

// The box that says ASPI is not there.
void ShowNoAspiBox(MainView& view);

}  // namespace usbisp
