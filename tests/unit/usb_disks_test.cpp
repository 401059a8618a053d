// Which SCSI generic devices become drives: the scan of a sysfs tree made in a
// scratch directory, what leaves a reader out as a whole, the place a letter
// follows through a replug, the nodes --drive may name, and the option itself.
#include "platform/linux/usb_disks.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <set>

#include "platform/linux/disk_use.h"
#include "platform/linux/scsi_nodes.h"
#include "support/fake_sysfs.h"
#include "support/test_support.h"

namespace usbisp {
namespace {

using test::FakeSysfs;
using Lines = std::vector<std::string>;
using Unit = FakeSysfs::Unit;

// The kernel as far as the scan asks it: exclusive opens of block devices.
class ProbeOnly : public lnx::SgDriver {
  public:
    std::set<std::string> held;
    std::vector<std::string> probes;
    int CheckAccess(const std::string&) override { return 0; }
    int Open(const std::string&, bool) override { return -ENODEV; }
    int Io(int, sg_io_hdr_t&) override { return -ENODEV; }
    void Close(int) override {}
    std::string GroupOf(const std::string&) override { return {}; }
    lnx::NodeInfo Stat(const std::string&) override { return {}; }
    int ProbeExclusive(const std::string& device) override {
        probes.push_back(device);
        return held.count(device) ? -EBUSY : 0;
    }
};

struct Found {
    std::vector<lnx::LinuxDrive> drives;
    Lines said;
};

Found Find(const FakeSysfs& sysfs, ProbeOnly& kernel) {
    Found found;
    found.drives = lnx::FindUsbDisks(
        sysfs.Paths(), kernel, [&found](const std::string& line) { found.said.push_back(line); });
    return found;
}

std::string Letters(const std::vector<lnx::LinuxDrive>& drives) {
    std::string text;
    for (const auto& d : drives)
        text += std::string(text.empty() ? "" : " ") + d.letter + "=" + d.device;
    return text;
}

// Each reader is one USB device; any unit of it in use leaves all its units
// out, and standard error says which and why. A disk not under USB, a CD
// drive and a disk without a medium are never probed.
TEST(UsbDisks, AReaderInUseIsLeftOutWhole) {
    test::TempDir dir;
    FakeSysfs sysfs(dir.path());
    sysfs.AddSataDisk(1, 0, {0, "0", "sda", {"sda1", "sda2"}, true, 240});
    // A four-slot reader whose third slot holds a mounted card.
    sysfs.AddUsbReader(2, "2-1", 6,
                       {{1, "0", "sdb", {}, false, 240},
                        {2, "0", "sdc", {}, false, 240},
                        {3, "0", "sdd", {"sdd1"}, true, 240},
                        {4, "0", "sde", {}, false, 240}});
    sysfs.AddUsbReader(2, "2-2", 7, {{5, "0", "sdf", {"sdf1", "sdf2"}, true, 240}});  // swap
    sysfs.AddUsbReader(2, "2-3", 8, {{6, "0", "sdg", {"sdg1"}, true, 240}});          // LVM
    sysfs.AddUsbReader(2, "2-4", 9, {{7, "0", "sdh", {"sdh1"}, true, 240}});          // root
    sysfs.AddUsbReader(2, "2-5", 10, {{8, "0", "sdi", {"sdi1"}, true, 240}});         // busy
    sysfs.AddUsbReader(1, "1-2.3", 11, {{9, "5", "sr0", {}, true, 240}});             // CD drive
    sysfs.AddUsbReader(1, "1-4", 12,
                       {{11, "0", "sdk", {}, false, 240}, {10, "0", "sdj", {"sdj1"}, true, 240}});
    sysfs.Mount(sysfs.Numbers("sda2"), "/dev/sda2", "/home");
    sysfs.Mount(sysfs.Numbers("sdd1"), "/dev/sdd1", "/media/card");
    sysfs.Swap("/dev/sdf2");
    sysfs.Hold("sdg1", "dm-0");
    sysfs.Mount(sysfs.Numbers("sdh1"), "/dev/root", "/");
    ProbeOnly kernel;
    kernel.held = {"/dev/sdi"};
    const Found found = Find(sysfs, kernel);
    EXPECT_EQ(Letters(found.drives), "E=/dev/sg10 F=/dev/sg11");
    EXPECT_EQ(
        found.said,
        (Lines{"usbisp: the reader at USB port 2-1 (/dev/sg1 /dev/sg2 /dev/sg3 /dev/sg4) is "
               "in use: /dev/sdd1 is mounted; all its drives are left out",
               "usbisp: the reader at USB port 2-2 (/dev/sg5) is in use: /dev/sdf2 is in use "
               "as swap; all its drives are left out",
               "usbisp: the reader at USB port 2-3 (/dev/sg6) is in use: /dev/sdg1 belongs to "
               "dm-0; all its drives are left out",
               "usbisp: the reader at USB port 2-4 (/dev/sg7) is in use: /dev/sdh1 is "
               "mounted; all its drives are left out",
               "usbisp: the reader at USB port 2-5 (/dev/sg8) is in use: /dev/sdi is held by "
               "the system (an exclusive open answers EBUSY); all its drives are left out"}));
    // Only whole disks with a medium that nothing else showed in use.
    EXPECT_EQ(std::set<std::string>(kernel.probes.begin(), kernel.probes.end()),
              (std::set<std::string>{"/dev/sdi", "/dev/sdj"}));
}

// Each letter is bound to its unit's place: the USB interface and the LUN,
// not the SCSI host or the sg number, which a replug changes.
TEST(UsbDisks, APlaceOutlivesAReplug) {
    test::TempDir dir;
    FakeSysfs sysfs(dir.path());
    sysfs.AddUsbReader(2, "2-1", 6,
                       {{1, "0", "sdb", {}, false, 240}, {2, "0", "sdc", {}, false, 64}});
    ProbeOnly kernel;
    const Found before = Find(sysfs, kernel);
    ASSERT_EQ(before.drives.size(), 2u);
    EXPECT_EQ(before.drives[1].place, "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0 0:0:1");
    EXPECT_EQ(before.drives[1].placeName, "USB port 2-1");
    sysfs.Unplug(2, "2-1");
    EXPECT_FALSE(lnx::ScsiNodeAt(sysfs.Paths(), before.drives[1].place));
    sysfs.AddUsbReader(2, "2-1", 9,
                       {{4, "0", "sdb", {}, false, 240}, {5, "0", "sdc", {}, false, 64}});
    const auto after = lnx::ScsiNodeAt(sysfs.Paths(), before.drives[1].place);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->node, "/dev/sg5");
    EXPECT_EQ(after->maxSectors, 64u);
    EXPECT_NE(after->device.find("/host9/"), std::string::npos);
    const auto byNumber = lnx::ScsiNodeOf(sysfs.Paths(), 21, 5);
    ASSERT_TRUE(byNumber);
    EXPECT_EQ(byNumber->place, before.drives[1].place);
}

TEST(UsbDisks, NoScsiGenericDriverAtAll) {
    test::TempDir dir;
    lnx::SystemPaths paths{dir.path() + "/sys", dir.path() + "/mountinfo", dir.path() + "/swaps",
                           "/dev"};
    ProbeOnly kernel;
    Lines said;
    EXPECT_TRUE(lnx::FindUsbDisks(paths, kernel, [&said](const std::string& l) {
                    said.push_back(l);
                }).empty());
    EXPECT_EQ(said, Lines{"usbisp: no SCSI generic devices: the sg module is not loaded (sudo "
                          "modprobe sg)"});
}

TEST(UsbDisks, LettersEndAtZ) {
    test::TempDir dir;
    FakeSysfs sysfs(dir.path());
    for (int i = 0; i < 25; ++i)
        sysfs.AddUsbReader(1, "1-" + std::to_string(i + 1), i + 6, {{i, "0", "", {}, false, 240}});
    ProbeOnly kernel;
    const Found found = Find(sysfs, kernel);
    ASSERT_EQ(found.drives.size(), 22u);
    EXPECT_EQ(found.drives.back().letter, 'Z');
    EXPECT_EQ(found.drives.back().device, "/dev/sg21");
    EXPECT_EQ(found.said, Lines{"usbisp: 25 USB disks found, 22 drive letters (E: to Z:); left "
                                "out: /dev/sg22 /dev/sg23 /dev/sg24"});
}

// What a --drive node must be: a character device of the sg driver. A SCSI
// disk's block device, or a partition of it, is told its sg device.
TEST(DriveNodes, OnlyScsiGenericDevices) {
    test::TempDir dir;
    FakeSysfs sysfs(dir.path());
    sysfs.AddUsbReader(1, "1-1", 6, {{3, "0", "sdb", {"sdb1"}, false, 240}});
    const auto minor = [&sysfs](const std::string& name) {
        const std::string n = sysfs.Numbers(name);
        return static_cast<unsigned>(std::stoul(n.substr(n.find(':') + 1)));
    };
    const std::string kNot = "not a SCSI generic device (lsscsi -g lists them)";
    const std::pair<lnx::NodeInfo, std::string> kRows[] = {
        {{0, true, false, 21, 3}, ""},
        {{0, true, false, 21, 40}, ""},   // sysfs need not know it
        {{0, true, false, 1, 3}, kNot},   // /dev/null
        {{0, false, false, 0, 0}, kNot},  // a file or a directory
        {{0, false, true, 8, minor("sdb")}, kNot + "; the one of this disk is /dev/sg3"},
        {{0, false, true, 8, minor("sdb1")}, kNot + "; the one of this disk is /dev/sg3"},
        {{0, false, true, 7, 0}, kNot},    // a loop device
        {{0, true, false, 180, 3}, kNot},  // a USB character device
    };
    for (const auto& [node, expected] : kRows) {
        SCOPED_TRACE(std::to_string(node.major) + ":" + std::to_string(node.minor));
        EXPECT_EQ(lnx::NotScsiGeneric(node, sysfs.Paths()), expected);
    }
}

TEST(DriveOption, LetterAndDevice) {
    const std::pair<const char*, const char*> kGood[] = {
        {"E=/dev/sg2", "E/dev/sg2"}, {"f=/dev/sg10", "F/dev/sg10"}, {"C=/dev/sdb", "C/dev/sdb"}};
    for (const auto& [text, expected] : kGood) {
        std::string error;
        const auto drive = lnx::ParseDriveOption(text, error);
        ASSERT_TRUE(drive) << text;
        EXPECT_EQ(drive->letter + drive->device, expected);
        EXPECT_EQ(drive->place, "");
    }
    for (const char* bad : {"", "E", "E=", "E:/dev/sg2", "B=/dev/sg2", "1=/dev/sg2", "=/dev/sg2"}) {
        std::string error;
        EXPECT_FALSE(lnx::ParseDriveOption(bad, error)) << bad;
        EXPECT_EQ(error, "\"" + std::string(bad) + "\" is not LETTER=DEVICE with a letter C to Z");
    }
}

}  // namespace
}  // namespace usbisp
