// The device report and the name field, letter for letter.
#include "ui/device_report.h"

#include <gtest/gtest.h>

#include <string>

#include "unit/device_report_expected.h"

namespace usbisp {
namespace {

using test::ExpectedReport;
using Expected = ExpectedReport;

template <std::size_t N>
void Put(std::array<char, N>& field, const std::string& text) {
    for (std::size_t i = 0; i < text.size() && i < N; ++i) field[i] = text[i];
}

struct DeviceReportTest : ::testing::Test {
    AppState app;
    DeviceTable devices;

    DeviceReportTest() { app.osKind = OsWinXP; }

    DeviceInfo& FullRecord() {
        DeviceInfo& d = devices.deviceSlots[0];
        d.inUse = 1;
        d.driveCount = 2;
        d.driveLetters = {'E', 'F', 0, 0, 0};
        Put(d.usbManufacturer, "Generic");
        Put(d.usbProduct, "USB Card Reader");
        Put(d.usbSerial, "A1B2C3D4E5F6");
        Put(d.inqManufacturer, "Generic ");
        Put(d.inqProduct, "Flash Reader    ");
        Put(d.inqRevision, "1.00");
        d.vendorId = {0x05, 0x8F};
        d.productId = {0x63, 0x62};
        d.firmwareRevision = {1, 2, 3, 3, 5, 20, 1, 2};
        Put(d.msFirmwareRevision, "verM1.3a");
        d.hardwareRevision = {0x76, 0x20, 0x43};
        d.usb20FirmwareRevision = {2, 0x10, 0, 4, 12, 31, 0xAB, 0xCD};
        d.firmwareRevisionOrg = {1, 2, 0x35, 0x14};
        devices.deviceCount = 1;
        return d;
    }

    Expected FullExpected() {
        Expected e;
        e.manufacturer = "Generic";
        e.product = "USB Card Reader";
        e.serial = "A 1 B 2 C 3 D 4 E 5 F 6 ";
        e.vidPid = "[058f]-[6362]";
        e.inqManufacturer = "Generic ";
        e.inqProduct = "Flash Reader    ";
        e.inqRevision = "1.00";
        e.firmware = "1.02.03-2003-05-20[OEM-01][CEM-02]";
        e.org = "1.02-2003-05-20";
        e.ms = "verM1.3a";
        e.hardware = "7620C";
        e.usb20 = "2.10.00-2004-12-31[OEM-ab][CEM-cd]";
        e.count = '1';
        e.selected = "1 with 2 slot.";
        return e;
    }
};

TEST_F(DeviceReportTest, EmptyRecord) {
    const DeviceReport report = BuildDeviceReport(app, devices);
    EXPECT_EQ(report.report, Expected{}.Text());
    EXPECT_EQ(report.name, "");
    EXPECT_EQ(app.chipCode, "000000");
    EXPECT_EQ(app.selectedDriveCount, 0);
}

TEST_F(DeviceReportTest, FullRecordUnderTheStatusText) {
    FullRecord();
    app.statusText = "\nsome line";
    app.selectedDriveCount = 4;
    const DeviceReport report = BuildDeviceReport(app, devices);
    Expected e = FullExpected();
    e.status = "\nsome line";
    EXPECT_EQ(report.report, e.Text());
    EXPECT_EQ(report.name, "Flash Reader    [E:] [F:] ");
    EXPECT_EQ(app.chipCode, "762043");
    EXPECT_EQ(app.selectedDriveCount, 2);
}

TEST_F(DeviceReportTest, ZeroBytesLeaveNoTrace) {
    DeviceInfo& d = FullRecord();
    d.usbManufacturer = {};
    Put(d.usbManufacturer, std::string("Ge\0ric", 6));
    d.usbSerial = {};
    Put(d.usbSerial, std::string("A1\0B", 4));
    d.msFirmwareRevision = {};
    Put(d.msFirmwareRevision, std::string("ver\0M1.3", 8));  // the line ends at the zero
    d.hardwareRevision[2] = 0;
    d.hardwareRevision[1] = 0x50;
    Expected e = FullExpected();
    e.manufacturer = "Geric";
    e.serial = "A 1 B ";
    e.ms = "N/A";  // chip 7650
    e.hardware = "7650";
    EXPECT_EQ(BuildDeviceReport(app, devices).report, e.Text());

    d.hardwareRevision = {0x76, 0x20, 0x43};
    e.ms = "ver";
    e.hardware = "7620C";
    EXPECT_EQ(BuildDeviceReport(app, devices).report, e.Text());
}

TEST_F(DeviceReportTest, Usb20RevisionNotApplicableForTheOlderChips) {
    DeviceInfo& d = FullRecord();
    Expected e = FullExpected();
    e.ms = "N/A";
    e.usb20 = "N/A";
    for (auto [hw, text] : {std::pair{std::array<std::uint8_t, 3>{0x73, 0x40, 0x11}, "7340\x11"},
                            std::pair{std::array<std::uint8_t, 3>{0x73, 0x53, 0x00}, "7353"},
                            std::pair{std::array<std::uint8_t, 3>{0x76, 0x80, 0x47}, "7680G"}}) {
        d.hardwareRevision = hw;
        e.hardware = text;
        EXPECT_EQ(BuildDeviceReport(app, devices).report, e.Text()) << text;
    }
}

TEST_F(DeviceReportTest, TenthDeviceAndTheLocateLine) {
    DeviceInfo& d = FullRecord();
    devices.deviceSlots[9] = d;
    devices.deviceSlots[9].aspiAdapter = 1;
    devices.deviceSlots[9].aspiTarget = 0x0b;
    devices.deviceCount = 10;
    app.selectedDevice = 9;
    Expected e = FullExpected();
    e.count = 'a';
    e.selected = "a with 2 slot.";
    EXPECT_EQ(BuildDeviceReport(app, devices).report, e.Text());

    app.osKind = OsWinMe;
    app.selfDriverMode = 1;
    EXPECT_EQ(BuildDeviceReport(app, devices).report, e.Text());
    app.selfDriverMode = 0;
    e.locate = "[1:b]";
    EXPECT_EQ(BuildDeviceReport(app, devices).report, e.Text());
    for (int os : {OsWin9x, OsWin2000}) {
        app.osKind = os;
        e.locate.clear();
        EXPECT_EQ(BuildDeviceReport(app, devices).report, e.Text()) << os;
    }
}

}  // namespace
}  // namespace usbisp
