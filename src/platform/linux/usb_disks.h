// Which SCSI generic devices are card readers the program may use: those of
// type disk whose sysfs path lies under a USB device, skipping any disk of
// which a partition (or the whole disk) is mounted or held by another block
// device (a device-mapper or RAID volume), in the order of their sg numbers.
#pragma once

#include <string>
#include <vector>

namespace usbisp::lnx {

// Where the scan looks; the tests point it at a scratch directory.
struct SystemPaths {
    std::string sys = "/sys";
    std::string mounts = "/proc/mounts";
    std::string dev = "/dev";
};

// The device nodes ("/dev/sg2"), by sg number.
std::vector<std::string> FindUsbDisks(const SystemPaths& paths);

}  // namespace usbisp::lnx
