// Finding the devices on the pass-through: every drive letter is opened and
// asked for its inquiry data; the drives whose identity is wanted are read and
// gathered into one slot per device, told apart by their USB serial string.
#pragma once

#include <cstdint>

#include "discovery/discovery.h"

namespace usbisp {

// Generic: drives whose inquiry vendor and product match faInquiry or
// fbInquiry, identity read with ReadIdentity. OwnDriver (Windows 2000 with the
// kernel driver): drives that answer as the maker's reader, identity read with
// the 0xFF block reads.
enum class DriveScanForm { Generic, OwnDriver };

// "        USB Reader      01.A": vendor, product and revision of a reader
// that runs under the maker's own driver.
inline constexpr char kSelfDriverReaderId[] = "        USB Reader      01.A";

// Status 0 when at least one device was found, else 1.
std::uint8_t ScanDrives(DiscoveryContext& ctx, DriveScanForm form);

// Records the unit whose identity block has just been read: one more drive of
// a device already in the table (same serial string), or a new device in the
// first free slot. A unit beyond the five drive letters of a slot, or a device
// beyond the ten slots, is not recorded.
void AddUnit(DiscoveryContext& ctx, char letter);

// The same for the ASPI scan: no drive letter; a new device takes the matched
// adapter and target.
void AddAspiUnit(DiscoveryContext& ctx, std::uint8_t adapter, std::uint8_t target);

}  // namespace usbisp
