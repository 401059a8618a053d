// Readers arriving on this machine: the kernel's uevents and the USB port a
// SCSI generic unit lies under.
#include "station/hotplug.h"

#include <gtest/gtest.h>

#include <string>

namespace usbisp::station {
namespace {

struct PortCase {
    std::string devpath;
    std::string port;
};

class UsbPorts : public ::testing::TestWithParam<PortCase> {};

TEST_P(UsbPorts, AreTheUsbDeviceAboveTheInterface) {
    EXPECT_EQ(UsbPortOf(GetParam().devpath), GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(
    Devpaths, UsbPorts,
    ::testing::Values(
        // A reader behind a hub: the hub is 1-1, the reader on its port 2.
        PortCase{"/devices/pci0000:00/0000:00:1d.7/usb1/1-1/1-1.2/1-1.2:1.0/host6/target6:0:0/"
                 "6:0:0:0/scsi_generic/sg2",
                 "1-1.2"},
        // Straight on a root port, as the dummy bus of a test machine has it.
        PortCase{"/devices/platform/dummy_hcd.0/usb3/3-1/3-1:1.0/host0/target0:0:0/0:0:0:1/"
                 "scsi_generic/sg1",
                 "3-1"},
        // Hubs in hubs.
        PortCase{"/devices/pci0000:00/usb2/2-4/2-4.1/2-4.1.3/2-4.1.3:1.0/host9/target9:0:0/"
                 "9:0:0:0/scsi_generic/sg7",
                 "2-4.1.3"},
        // Not USB: a SATA disk.
        PortCase{"/devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/scsi_generic/sg0",
                 ""},
        // A name that only looks like a port outside a USB tree.
        PortCase{"/devices/virtual/1-1/1-1:1.0/sg3", ""},
        // The USB device itself, without an interface below it.
        PortCase{"/devices/pci0000:00/usb1/1-1", ""}));

TEST(Uevents, NameTheScsiDeviceBehindAUnit) {
    struct Row {
        const char* devpath;
        const char* device;
    };
    for (const Row& row : {
             Row{"/devices/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:2/scsi_generic/sg4", "6:0:0:2"},
             Row{"/devices/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0", ""},
             Row{"/scsi_generic/sg4", ""},
             Row{"", ""},
         })
        EXPECT_EQ(ScsiDeviceOf(row.devpath), row.device) << row.devpath;
}

TEST(Uevents, ParseTheKernelsMessage) {
    // The fields end with zero bytes: the length of the literal is spelt out.
    const char added[] =
        "add@/devices/usb1/1-1/1-1:1.0/host0/target0:0:0/0:0:0:0/scsi_generic/sg0\0ACTION=add\0"
        "DEVPATH=/devices/usb1/1-1/1-1:1.0/host0/target0:0:0/0:0:0:0/scsi_generic/sg0\0"
        "SUBSYSTEM=scsi_generic\0DEVNAME=sg0\0MAJOR=21\0MINOR=0\0SEQNUM=7";
    auto add = ParseUevent(added, sizeof added - 1);
    ASSERT_TRUE(add);
    EXPECT_EQ(add->action, "add");
    EXPECT_EQ(UsbPortOf(add->devpath), "1-1");
    EXPECT_EQ(add->subsystem, "scsi_generic");
    EXPECT_EQ(add->devname, "sg0");

    const char removed[] =
        "remove@/devices/x/sg4\0ACTION=remove\0DEVPATH=/devices/x/sg4\0SUBSYSTEM=scsi_generic\0"
        "DEVNAME=sg4\0SEQNUM=9";
    auto remove = ParseUevent(removed, sizeof removed - 1);
    ASSERT_TRUE(remove);
    EXPECT_EQ(remove->action, "remove");
    EXPECT_EQ(remove->devpath, "/devices/x/sg4");
    EXPECT_EQ(remove->devname, "sg4");

    // udev's own messages begin otherwise and are not the kernel's.
    const char udev[] = "libudev\0\xfe\xed\xca\xfe";
    EXPECT_FALSE(ParseUevent(udev, sizeof udev - 1));
    EXPECT_FALSE(ParseUevent("", 0));
}

}  // namespace
}  // namespace usbisp::station
