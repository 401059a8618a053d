#include "support/fake_sysfs.h"

#include <filesystem>
#include <fstream>

namespace usbisp::test {

namespace {

namespace fs = std::filesystem;

void WriteLine(const fs::path& file, const std::string& text) {
    std::ofstream(file) << text << "\n";
}

}  // namespace

FakeSysfs::FakeSysfs(const std::string& root) : root_(root), sys_(root + "/sys") {
    for (const char* dir :
         {"class/scsi_generic", "class/block", "dev/char", "dev/block", "devices"})
        fs::create_directories(fs::path(sys_) / dir);
    // The system's own disk, mounted as root.
    std::ofstream(root_ + "/mountinfo") << "22 1 254:1 / / rw,relatime - ext4 /dev/vda1 rw\n"
                                        << "23 22 0:22 / /sys rw - sysfs sysfs rw\n";
    std::ofstream(root_ + "/swaps") << "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n";
}

void FakeSysfs::Link(const std::string& link, const std::string& target) {
    fs::create_directory_symlink(target, link);
}

void FakeSysfs::Block(const std::string& dir, const std::string& name, bool medium,
                      bool partition) {
    fs::create_directories(fs::path(dir) / "holders");
    const int minor = partition ? nextMinor_++ : (nextMinor_ = (nextMinor_ + 15) / 16 * 16)++;
    const std::string numbers = "8:" + std::to_string(minor);
    WriteLine(fs::path(dir) / "dev", numbers);
    WriteLine(fs::path(dir) / "size", medium ? "31116288" : "0");
    if (partition) WriteLine(fs::path(dir) / "partition", std::to_string(minor % 16));
    blockDirs_[name] = dir;
    numbers_[name] = numbers;
    Link(sys_ + "/class/block/" + name, dir);
    Link(sys_ + "/dev/block/" + numbers, dir);
}

void FakeSysfs::AddUnit(const std::string& device, const Unit& unit) {
    fs::create_directories(device);
    WriteLine(fs::path(device) / "type", unit.type);
    const std::string sg = "sg" + std::to_string(unit.sg);
    const std::string sgDir = device + "/scsi_generic/" + sg;
    fs::create_directories(sgDir);
    WriteLine(fs::path(sgDir) / "dev", "21:" + std::to_string(unit.sg));
    Link(sgDir + "/device", device);
    Link(sys_ + "/class/scsi_generic/" + sg, sgDir);
    Link(sys_ + "/dev/char/21:" + std::to_string(unit.sg), sgDir);
    if (unit.disk.empty()) return;
    const std::string disk = device + "/block/" + unit.disk;
    Block(disk, unit.disk, unit.medium, false);
    Link(disk + "/device", device);
    for (const std::string& part : unit.partitions)
        Block(disk + "/" + part, part, unit.medium, true);
}

void FakeSysfs::AddUsbReader(int bus, const std::string& port, int host,
                             const std::vector<Unit>& units) {
    const std::string h = std::to_string(host);
    const std::string base = sys_ + "/devices/pci0000:00/0000:00:14.0/usb" + std::to_string(bus) +
                             "/" + port + "/" + port + ":1.0/host" + h + "/target" + h + ":0:0/";
    for (std::size_t lun = 0; lun < units.size(); ++lun) {
        const std::string device = base + h + ":0:0:" + std::to_string(lun);
        AddUnit(device, units[lun]);
        WriteLine(fs::path(device) / "max_sectors", std::to_string(units[lun].maxSectors));
    }
}

void FakeSysfs::AddSataDisk(int ata, int host, const Unit& unit) {
    const std::string h = std::to_string(host);
    AddUnit(sys_ + "/devices/pci0000:00/0000:00:1f.2/ata" + std::to_string(ata) + "/host" + h +
                "/target" + h + ":0:0/" + h + ":0:0:0",
            unit);
}

void FakeSysfs::Unplug(int bus, const std::string& port) {
    fs::remove_all(sys_ + "/devices/pci0000:00/0000:00:14.0/usb" + std::to_string(bus) + "/" +
                   port);
    // The links into it go with it.
    for (const char* dir : {"class/scsi_generic", "class/block", "dev/char", "dev/block"}) {
        for (const auto& entry : fs::directory_iterator(fs::path(sys_) / dir)) {
            std::error_code ec;
            if (!fs::exists(entry.path(), ec)) fs::remove(entry.path());
        }
    }
}

void FakeSysfs::Mount(const std::string& numbers, const std::string& source,
                      const std::string& at) {
    std::ofstream(root_ + "/mountinfo", std::ios::app)
        << "40 22 " << numbers << " / " << at << " rw,relatime - vfat " << source << " rw\n";
}

void FakeSysfs::Swap(const std::string& source) {
    std::ofstream(root_ + "/swaps", std::ios::app)
        << source << "\t\tpartition\t1048572\t\t0\t\t-2\n";
}

void FakeSysfs::Hold(const std::string& name, const std::string& holder) {
    fs::create_directories(fs::path(blockDirs_.at(name)) / "holders" / holder);
}

void FakeSysfs::SetMaxSectors(int number, unsigned sectors) {
    WriteLine(fs::path(sys_) / "class/scsi_generic" / ("sg" + std::to_string(number)) / "device" /
                  "max_sectors",
              std::to_string(sectors));
}

std::string FakeSysfs::Numbers(const std::string& name) const {
    auto it = numbers_.find(name);
    return it == numbers_.end() ? std::string() : it->second;
}

lnx::SystemPaths FakeSysfs::Paths() const {
    return {sys_, root_ + "/mountinfo", root_ + "/swaps", "/dev"};
}

}  // namespace usbisp::test
