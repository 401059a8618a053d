// Whether the system uses a disk of a reader: a file system mounted from it
// or one of its partitions (the mount table's device numbers, so that the
// root file system mounted as /dev/root counts too, and its sources, for file
// systems that span several disks), a swap area on it, a volume built on it
// (its holders in sysfs), and for a disk with a medium in it, where all that
// may not show (another mount namespace, a member of a multi-device file
// system), an exclusive open that the kernel refuses.
#pragma once

#include <string>

#include "platform/linux/sg_driver.h"
#include "platform/linux/system_paths.h"

namespace usbisp::lnx {

// Why a block device under the sysfs directory `reader` (every unit of a
// reader) is in use ("/dev/sdc1 is mounted"), empty when none is.
std::string ReaderInUse(const SystemPaths& paths, SgDriver& kernel, const std::string& reader);

}  // namespace usbisp::lnx
