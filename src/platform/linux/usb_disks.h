// Which SCSI generic devices become drives when --drive names none: the disks
// under a USB device, in the order of their sg numbers, as E:, F:, ... A
// reader of which any unit is in use (disk_use.h) is left out as a whole:
// programming resets its controller under every card in it. What is left out
// and why is said on standard error: no sg driver, a reader in use, more
// disks than letters.
#pragma once

#include <vector>

#include "platform/linux/drive_map.h"
#include "platform/linux/sg_driver.h"
#include "platform/linux/system_paths.h"
#include "platform/transcript_text.h"

namespace usbisp::lnx {

// Each drive bound to its reader's place on the bus (LinuxDrive::place).
std::vector<LinuxDrive> FindUsbDisks(const SystemPaths& paths, SgDriver& kernel,
                                     const TranscriptSink& complain);

}  // namespace usbisp::lnx
