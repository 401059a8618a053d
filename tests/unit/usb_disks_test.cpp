// Which SCSI generic devices become drives: the scan of a sysfs tree made in a
// scratch directory, the letters they get, and the --drive option.
#include "platform/linux/usb_disks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/linux/drive_map.h"
#include "support/test_support.h"

namespace usbisp {
namespace {

namespace fs = std::filesystem;

// A sysfs tree as the kernel lays it out: each SCSI device below its host
// (a PCI SATA port or a USB root hub), its type, its block device with the
// partitions, and /sys/class/scsi_generic/sgN/device pointing at it.
class FakeSysfs {
  public:
    explicit FakeSysfs(const std::string& root) : root_(root) {
        fs::create_directories(root_ / "sys/class/scsi_generic");
    }
    struct Disk {
        int sg;
        std::string bus;    // the device's path below /sys/devices
        std::string type;   // "0" disk, "5" CD drive
        std::string block;  // "sdb", empty for none
        std::vector<std::string> partitions;
        std::vector<std::string> holders;  // of the first partition
    };
    void Add(const Disk& d) {
        const fs::path device = root_ / "sys/devices" / d.bus;
        fs::create_directories(device);
        std::ofstream(device / "type") << d.type << "\n";
        if (!d.block.empty()) {
            const fs::path block = device / "block" / d.block;
            fs::create_directories(block / "holders");
            for (std::size_t i = 0; i < d.partitions.size(); ++i) {
                fs::create_directories(block / d.partitions[i] / "holders");
                std::ofstream(block / d.partitions[i] / "partition") << i + 1 << "\n";
                if (i == 0)
                    for (const std::string& h : d.holders)
                        fs::create_directories(block / d.partitions[i] / "holders" / h);
            }
        }
        const fs::path sg = root_ / "sys/class/scsi_generic" / ("sg" + std::to_string(d.sg));
        fs::create_directories(sg);
        fs::create_directory_symlink(device, sg / "device");
    }
    void Mounts(const std::string& text) { std::ofstream(root_ / "mounts") << text; }
    lnx::SystemPaths Paths() const {
        return {(root_ / "sys").string(), (root_ / "mounts").string(), "/dev"};
    }

  private:
    fs::path root_;
};

const std::string kUsb = "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/";
const std::string kSata = "pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0";

TEST(UsbDisks, UnmountedUsbDisksInSgOrder) {
    test::TempDir dir;
    FakeSysfs sysfs(dir.path());
    sysfs.Add({0, kSata, "0", "sda", {"sda1", "sda2"}, {}});
    sysfs.Add({11, kUsb + "6:0:0:3", "0", "sdf", {}, {}});  // a card slot without a card
    sysfs.Add({1, kUsb + "6:0:0:0", "0", "sdb", {"sdb1"}, {}});
    sysfs.Add({2,
               "pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/host7/target7:0:0/7:0:0:0",
               "0",
               "sdc",
               {"sdc1"},
               {}});  // mounted
    sysfs.Add({3,
               "pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0/host8/target8:0:0/8:0:0:0",
               "5",
               "sr0",
               {},
               {}});                                                   // a CD drive
    sysfs.Add({4, kUsb + "6:0:0:1", "0", "sdd", {"sdd1"}, {"dm-0"}});  // under an LVM volume
    sysfs.Add({5, kUsb + "6:0:0:2", "0", "sde", {}, {}});              // mounted whole
    sysfs.Mounts(
        "sysfs /sys sysfs rw 0 0\n"
        "/dev/sda2 / ext4 rw,relatime 0 0\n"
        "/dev/sdc1 /media/stick vfat rw 0 0\n"
        "/dev/sde /media/card vfat rw 0 0\n");
    const auto devices = lnx::FindUsbDisks(sysfs.Paths());
    EXPECT_EQ(devices, (std::vector<std::string>{"/dev/sg1", "/dev/sg11"}));
    const auto drives = lnx::AssignLetters(devices);
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[0].letter, 'E');
    EXPECT_EQ(drives[0].device, "/dev/sg1");
    EXPECT_EQ(drives[1].letter, 'F');
    EXPECT_EQ(drives[1].device, "/dev/sg11");
}

TEST(UsbDisks, NoScsiGenericDriverAtAll) {
    test::TempDir dir;
    EXPECT_TRUE(lnx::FindUsbDisks({dir.path() + "/sys", dir.path() + "/mounts", "/dev"}).empty());
}

TEST(UsbDisks, LettersEndAtZ) {
    std::vector<std::string> devices;
    for (int i = 0; i < 30; ++i) devices.push_back("/dev/sg" + std::to_string(i));
    const auto drives = lnx::AssignLetters(devices);
    ASSERT_EQ(drives.size(), 22u);
    EXPECT_EQ(drives.back().letter, 'Z');
    EXPECT_EQ(drives.back().device, "/dev/sg21");
}

TEST(DriveOption, LetterAndDevice) {
    const std::pair<const char*, const char*> kGood[] = {
        {"E=/dev/sg2", "E/dev/sg2"}, {"f=/dev/sg10", "F/dev/sg10"}, {"C=/dev/sdb", "C/dev/sdb"}};
    for (const auto& [text, expected] : kGood) {
        std::string error;
        const auto drive = lnx::ParseDriveOption(text, error);
        ASSERT_TRUE(drive) << text;
        EXPECT_EQ(drive->letter + drive->device, expected);
    }
    for (const char* bad : {"", "E", "E=", "E:/dev/sg2", "B=/dev/sg2", "1=/dev/sg2", "=/dev/sg2"}) {
        std::string error;
        EXPECT_FALSE(lnx::ParseDriveOption(bad, error)) << bad;
        EXPECT_EQ(error, std::string("\"") + bad + "\" is not LETTER=DEVICE with a letter C to Z");
    }
}

}  // namespace
}  // namespace usbisp
