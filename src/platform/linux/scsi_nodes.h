// What sysfs shows of the SCSI generic devices: for each sg node the SCSI
// device behind it, whether that is a disk under a USB device, its place on
// the bus (the same after the reader is unplugged and plugged in again at the
// same port, where its host number and its sg number change), and the reader
// it belongs to (the USB device, or the SCSI host of any other disk), whose
// units are used or left alone together.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/linux/sg_driver.h"
#include "platform/linux/system_paths.h"

namespace usbisp::lnx {

struct ScsiNode {
    std::string node;    // "/dev/sg3"
    int number = -1;     // 3
    std::string device;  // the SCSI device's sysfs directory
    // The parent of its SCSI host and the device's channel, target and LUN:
    // "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0 0:0:3".
    std::string place;
    std::string reader;      // the reader's sysfs directory
    std::string readerName;  // "USB port 2-1", "SCSI host 0"
    bool disk = false;       // peripheral type 0, direct access
    bool usb = false;
    unsigned maxSectors = 0;  // the most 512-byte sectors one request moves; 0: unknown
};

struct ScsiScan {
    bool driverLoaded = false;    // /sys/class/scsi_generic exists
    std::vector<ScsiNode> nodes;  // in the order of their sg numbers
};

ScsiScan ScanScsiGeneric(const SystemPaths& paths);

// What standard error says when the scan finds no sg driver.
inline constexpr const char* kNoSgDriver =
    "usbisp: no SCSI generic devices: the sg module is not loaded (sudo modprobe sg)";

// The first word of a sysfs attribute ("8:17", "0"), empty when there is none.
std::string SysfsWord(const std::string& file);

// The sg node at `place` now, if any.
std::optional<ScsiNode> ScsiNodeAt(const SystemPaths& paths, const std::string& place);

// The SCSI generic device with these device numbers, if sysfs knows one.
std::optional<ScsiNode> ScsiNodeOf(const SystemPaths& paths, unsigned major, unsigned minor);

// Empty when `info` describes a character device of the sg driver; else
// "not a SCSI generic device (lsscsi -g lists them)", for a SCSI disk's
// block device with the sg device of that disk after it.
std::string NotScsiGeneric(const NodeInfo& info, const SystemPaths& paths);

}  // namespace usbisp::lnx
