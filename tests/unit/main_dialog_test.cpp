// The main window's handlers called directly, for every combination of
// platform, own driver and Memory Stick mode, on a bench with no maker's
// driver installed and no device attached.
#include "ui/main_dialog.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/sim/bench.h"
#include "support/fake_view.h"

namespace usbisp {
namespace {

constexpr const char* kE2 = "ISP_E2: Before ISP, Please select the [ISP_ena] first!!!";
constexpr const char* kE9 = "ISP_E9: ISP must run under win98 or WinMe with DRIVER Install.";
constexpr const char* kCounters0 =
    "\n\nSuccess Number Of ISP: 0\nError   Number Of ISP: 0\nTotal   Number Of ISP: 0";

class Handlers : public ::testing::Test {
  protected:
    Handlers() : bench_(sim::BenchConfig{}, "/nonexistent", nullptr, false), core_(bench_, view_) {}

    MainDialog& Dialog(int osKind, int self, int ms, int ispEnabled = 1) {
        core_.app.osKind = osKind;
        core_.app.selfDriverMode = self;
        core_.app.msFirmwareMode = ms;
        core_.app.ispEnabled = ispEnabled;
        if (osKind == OsWin9x || (self && osKind == OsWinMe))
            core_.app.driverFileName = "ZIZIRADA.ZAV";
        if (self && osKind == OsWin2000) core_.app.driverFileName = "TAVDRV.SYS";
        dialog_ = std::make_unique<MainDialog>(core_);
        return *dialog_;
    }
    void KnownController() { core_.devices.deviceSlots[0].hardwareRevision = {0x76, 0x20, 0x43}; }

    // The one box shown, as "caption|text".
    std::string OnlyBox() const {
        if (view_.boxes.size() != 1) return "boxes: " + std::to_string(view_.boxes.size());
        return view_.boxes[0].caption + "|" + view_.boxes[0].text;
    }

    sim::Bench bench_;
    test::FakeView view_;
    Core core_;
    std::unique_ptr<MainDialog> dialog_;
};

TEST_F(Handlers, ProgrammingRefusedOffTheSupportedPlatforms) {
    Dialog(OsUnsupported, 0, 0).OnWin9xIsp();
    EXPECT_EQ(OnlyBox(), "UsbIsp|ISP_E1: ISP must run under win98 or WinMe or Win2K or WinXP");
    EXPECT_TRUE(view_.fields.empty());
}

TEST_F(Handlers, VerificationRefusedOffTheSupportedPlatforms) {
    Dialog(OsUnsupported, 1, 0).OnWin9xVer();
    EXPECT_EQ(OnlyBox(),
              "UsbIsp|Verify must run under win98 or WinMe or Win2K Oor WinXP with self-driver");
}

TEST_F(Handlers, NothingRunsUntilIspEnaIsTicked) {
    for (int os = OsWin9x; os <= OsWinXP; ++os) {
        for (int self = 0; self <= 1; ++self) {
            for (int ms = 0; ms <= 1; ++ms) {
                view_.boxes.clear();
                Dialog(os, self, ms, 0).OnWin9xIsp();
                EXPECT_EQ(OnlyBox(), std::string("UsbIsp|") + kE2) << os << self << ms;
                view_.boxes.clear();
                Dialog(os, self, ms, 0).OnWin9xVer();
                EXPECT_EQ(OnlyBox(),
                          "UsbIsp|Before Verify Firmware, Please select the [ISP_ena] first!!!");
            }
        }
    }
    EXPECT_TRUE(view_.fields.empty());
}

TEST_F(Handlers, ProgrammingLoadFailuresGoOnToTheCounters) {
    struct Case {
        int os, self, ms;
        const char* text;
    } const kCases[] = {
        {OsWin9x, 0, 0, "\nISP_E3: Can't Load the Driver : ZIZIRADA.ZAV"},
        {OsWin9x, 1, 1, "\nISP_E3: Can't Load the Driver : ZIZIRADA.ZAV"},
        {OsWinMe, 1, 0, "\nISP_E4: Can't Load the Driver : ZIZIRADA.ZAV"},
        {OsWinMe, 1, 1, "\nISP_E4: Can't Load the Driver : ZIZIRADA.ZAV"},
    };
    for (const Case& c : kCases) {
        view_.fields.clear();
        Dialog(c.os, c.self, c.ms).OnWin9xIsp();
        EXPECT_TRUE(view_.boxes.empty());
        EXPECT_EQ(view_.fields[ctl::kReport], std::string(c.text) + kCounters0) << c.os << c.self;
    }
}

TEST_F(Handlers, Windows2000LoadFailureIsShownWithoutCounters) {
    Dialog(OsWin2000, 1, 0).OnWin9xIsp();
    EXPECT_TRUE(view_.boxes.empty());
    EXPECT_EQ(view_.fields[ctl::kReport], "\nISP_E6: Can't Load the Driver : TAVDRV.SYS");
}

TEST_F(Handlers, UnknownControllerRefusalsByPlatform) {
    Dialog(OsWinMe, 0, 0).OnWin9xIsp();
    EXPECT_EQ(OnlyBox(),
              "UsbIsp|ISP_E5: ISP must run under win98 or WinMe or WIN2K with DRIVER Install.");
    view_.boxes.clear();
    Dialog(OsWinMe, 0, 1).OnWin9xIsp();  // the controller check comes before E9
    EXPECT_EQ(OnlyBox(),
              "UsbIsp|ISP_E5: ISP must run under win98 or WinMe or WIN2K with DRIVER Install.");
    view_.boxes.clear();
    Dialog(OsWin2000, 0, 0).OnWin9xIsp();
    EXPECT_EQ(OnlyBox(),
              "UsbIsp|ISP_E7: ISP must run under win98 or WinMe or WIN2K with DRIVER Install.");
    view_.boxes.clear();
    Dialog(OsWinXP, 0, 0).OnWin9xIsp();
    EXPECT_EQ(OnlyBox(),
              "UsbIsp|ISP_E8: ISP must run under win98 or WinMe or WIN2K with DRIVER Install.");
    EXPECT_TRUE(view_.fields.empty());
}

TEST_F(Handlers, MemoryStickModeRefusedWhereNoPortDriverRuns) {
    KnownController();
    const std::pair<int, int> kCases[] = {
        {OsWinMe, 0}, {OsWin2000, 0}, {OsWin2000, 1}, {OsWinXP, 0}, {OsWinXP, 1}};
    for (const auto& [os, self] : kCases) {
        view_.boxes.clear();
        Dialog(os, self, 1).OnWin9xIsp();
        EXPECT_EQ(OnlyBox(), std::string("UsbIsp|") + kE9) << os << self;
        view_.boxes.clear();
        Dialog(os, self, 1).OnWin9xVer();
        EXPECT_EQ(OnlyBox(), std::string("UsbIsp|") + kE9) << os << self;
    }
    EXPECT_TRUE(view_.fields.empty());
}

TEST_F(Handlers, Windows2000NeedsExactlyOneDevice) {
    KnownController();
    Dialog(OsWin2000, 0, 0).OnWin9xIsp();
    EXPECT_EQ(OnlyBox(), "UsbIsp|Error: Unknow error happen!!!");
    EXPECT_TRUE(view_.fields.empty());
}

TEST_F(Handlers, KnownControllersByTheirFirstTwoRevisionBytes) {
    // The third byte takes no part. A known controller goes on to programming
    // (which here finds no ROM code file) instead of the refusal.
    const std::string refusal =
        "ISP_E8: ISP must run under win98 or WinMe or WIN2K with DRIVER Install.";
    auto refused = [&] {
        for (const auto& box : view_.boxes)
            if (box.text == refusal) return true;
        return false;
    };
    for (auto rev : {std::array<std::uint8_t, 3>{0x76, 0x50, 0x00},
                     {0x73, 0x40, 0x11},
                     {0x73, 0x53, 0xFF},
                     {0x74, 0x60, 0x41}}) {
        view_.boxes.clear();
        core_.devices.deviceSlots[0].hardwareRevision = rev;
        Dialog(OsWinXP, 0, 0).OnWin9xIsp();
        EXPECT_FALSE(refused()) << int(rev[0]) << int(rev[1]);
    }
    view_.boxes.clear();
    core_.devices.deviceSlots[0].hardwareRevision = {0x76, 0x80, 0x47};  // 7680 is no such one
    Dialog(OsWinXP, 0, 0).OnWin9xIsp();
    EXPECT_EQ(OnlyBox(), "UsbIsp|" + refusal);
}

TEST_F(Handlers, VerificationLoadFailureIsShown) {
    Dialog(OsWin9x, 0, 0).OnWin9xVer();
    EXPECT_EQ(view_.fields[ctl::kReport], "\nCan't Load the Driver : ZIZIRADA.ZAV");
    Dialog(OsWin2000, 1, 0).OnWin9xVer();
    EXPECT_EQ(view_.fields[ctl::kReport], "\nCan't Load the Driver : TAVDRV.SYS");
    EXPECT_TRUE(view_.boxes.empty());
}

TEST_F(Handlers, CheckBoxFlagsFollowTheClicks) {
    MainDialog& dialog = Dialog(OsWinXP, 0, 0, 0);
    dialog.OnIspEna();
    EXPECT_EQ(core_.app.ispEnabled, 1);
    dialog.OnIspEna();
    EXPECT_EQ(core_.app.ispEnabled, 0);
    dialog.OnIspMsFw();
    EXPECT_EQ(core_.app.msFirmwareMode, 1);
    dialog.OnSelfDriverSel();
    EXPECT_EQ(core_.app.selfDriverMode, 1);
    dialog.OnSelfDriverSel();
    EXPECT_EQ(core_.app.selfDriverMode, 0);
}

TEST_F(Handlers, DeviceSelOnlyWhereAPortDriverOrKernelDriverPlatformRuns) {
    core_.devices.deviceCount = 3;
    core_.app.selectedDevice = 1;
    view_.ListAdd(ctl::kDeviceList, "1");
    view_.ListAdd(ctl::kDeviceList, "2");
    view_.ListAdd(ctl::kDeviceList, "3");
    view_.lists[ctl::kDeviceList].SelectText("3");
    Dialog(OsWinXP, 0, 0).OnDeviceSelChange();
    EXPECT_EQ(OnlyBox(), "UsbIsp|AP must run under win98 or WinMe with self-driver");
    EXPECT_EQ(core_.app.selectedDevice, 1);
    view_.boxes.clear();
    Dialog(OsWin2000, 0, 0).OnDeviceSelChange();
    EXPECT_TRUE(view_.boxes.empty());
    EXPECT_EQ(core_.app.selectedDevice, 2);
}

TEST_F(Handlers, CloseRunsTheOkPathAndCancelTheCancelPath) {
    Dialog(OsWinXP, 0, 0).OnCloseButton();
    EXPECT_EQ(view_.ended, 1);
    Dialog(OsWinXP, 0, 0).OnCancel();
    EXPECT_EQ(view_.ended, 0);
}

}  // namespace
}  // namespace usbisp
