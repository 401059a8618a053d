// A sysfs tree as the kernel lays it out, made in a scratch directory: SCSI
// devices below their host (a USB reader's interface, or a SATA port), their
// type, usb-storage's max_sectors, their sg device and their block device
// with its partitions, and the links of /sys/class and /sys/dev that point at
// them; beside it a mount table and a swap list. A reader can be unplugged
// and plugged in again: it comes back under a new SCSI host and new sg
// numbers, as on a real machine.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/linux/system_paths.h"

namespace usbisp::test {

class FakeSysfs {
  public:
    explicit FakeSysfs(const std::string& root);

    struct Unit {
        int sg = 0;
        std::string type = "0";  // "0" disk, "5" CD drive
        std::string disk;        // "sdb"; empty: no block device
        std::vector<std::string> partitions;
        bool medium = false;  // a card in the slot: the disk has a size
        unsigned maxSectors = 240;
    };
    // A USB reader at `port` ("1-3", "2-1.4") of root hub `bus`, its units
    // LUN 0, 1, ... of SCSI host `host`.
    void AddUsbReader(int bus, const std::string& port, int host, const std::vector<Unit>& units);
    // A disk on SATA port `ata`, SCSI host `host`.
    void AddSataDisk(int ata, int host, const Unit& unit);
    // The reader at `port` is unplugged: its devices and their links go.
    void Unplug(int bus, const std::string& port);

    // A line of /proc/self/mountinfo for a file system from `source`
    // ("/dev/sdb1", "/dev/root") on device `numbers` ("8:17").
    void Mount(const std::string& numbers, const std::string& source, const std::string& at);
    void Swap(const std::string& source);
    // `holder` ("dm-0") is built on the block device `name`.
    void Hold(const std::string& name, const std::string& holder);
    // usb-storage's max_sectors of the unit behind sg device `number`.
    void SetMaxSectors(int number, unsigned sectors);
    // The device numbers of a block device made here ("8:17").
    std::string Numbers(const std::string& name) const;

    lnx::SystemPaths Paths() const;
    const std::string& sys() const { return sys_; }

  private:
    void AddUnit(const std::string& device, const Unit& unit);
    void Link(const std::string& link, const std::string& target);
    void Block(const std::string& dir, const std::string& name, bool medium, bool partition);

    std::string root_;
    std::string sys_;
    std::map<std::string, std::string> blockDirs_;  // "sdb1" -> its directory
    std::map<std::string, std::string> numbers_;    // "sdb1" -> "8:17"
    int nextMinor_ = 0;
};

}  // namespace usbisp::test
