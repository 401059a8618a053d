// One access path as one unit: what the main window, discovery and the
// firmware sequences ask of it. The table (access_table.h) says which unit
// serves the current platform and driver choice; every consumer goes through
// MakeAccessPath and none compares the platform flags itself.
#pragma once

#include <cstdint>
#include <memory>

#include "access/access_table.h"
#include "access/isp_path.h"
#include "discovery/discovery.h"

namespace usbisp {

using AccessContext = DiscoveryContext;

class AccessPath {
  public:
    virtual ~AccessPath() = default;

    virtual AccessPathId id() const = 0;

    // Opens the maker's driver before discovery and before each firmware run:
    // 0 ready, 1 failed. A path without a maker's driver answers 1 (the
    // handlers never ask it).
    virtual std::uint8_t Open() = 0;
    // Finds the devices into the cleared table: 0 when discovery has run, 1 or
    // 2 when the device is not ready.
    virtual std::uint8_t Scan() = 0;
    // What the main window does after a discovery with this status.
    virtual void AfterDiscovery(std::uint8_t status) { (void)status; }

    // The firmware sequences' view of the path, addressing the selected device.
    virtual std::unique_ptr<IspPath> SequencePath() = 0;

    // "Close": closes the handle of the path.
    virtual void Close() = 0;
};

// The unit of the path the table gives for the current state. The unit keeps
// the context (references to the process-wide records).
std::unique_ptr<AccessPath> MakeAccessPath(const AccessContext& ctx);

// Shorthands for the unit's operations.
std::uint8_t OpenAccessPath(const AccessContext& ctx);
// Clears the table and runs the discovery of the path.
std::uint8_t DiscoverDevices(AccessContext ctx);
// The same for a firmware run that reads the devices again midway: the status
// text, which holds the run's account so far, stays.
std::uint8_t RescanDevices(AccessContext ctx);

}  // namespace usbisp
