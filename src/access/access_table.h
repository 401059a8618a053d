// Which access path reaches the devices: decided here, and only here, from the
// platform, the "SelfDriverSel" box and the chosen driver file.
//
//   Windows 95/98    the disk port driver chosen   port driver, code 66
//   Windows 95/98    another driver chosen         port driver, code 65
//   Windows ME       "SelfDriverSel"               port driver, code 65
//   Windows ME       otherwise                     ASPI
//   Windows 2000     "SelfDriverSel"               kernel driver (discovery on
//                                                  the pass-through)
//   Windows 2000     otherwise                     SCSI pass-through
//   Windows XP       always                        SCSI pass-through
#pragma once

#include "app/app_state.h"

namespace usbisp {

enum class AccessPathId { None, PortDriver66, PortDriver65, Aspi, KernelDriver, PassThrough };

AccessPathId AccessPathFor(int osKind, int selfDriverMode, int diskDriverSelected);

inline AccessPathId AccessPathFor(const AppState& app) {
    return AccessPathFor(app.osKind, app.selfDriverMode, app.diskDriverSelected);
}

// The paths through one of the maker's drivers: the handlers open it (their
// load step) before discovery and before each firmware run, and the driver
// list offers the driver files.
bool UsesMakersDriver(AccessPathId id);

// The two port-driver paths.
inline bool IsPortDriver(AccessPathId id) {
    return id == AccessPathId::PortDriver66 || id == AccessPathId::PortDriver65;
}

const char* AccessPathName(AccessPathId id);

}  // namespace usbisp
