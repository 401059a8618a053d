// Placement of the main window's controls, the status window and the boxes.
#include "tui/layout.h"

#include <gtest/gtest.h>

#include "view/views.h"

namespace usbisp::tui {
namespace {

constexpr int kControls[] = {
    ctl::kDeviceLabel, ctl::kDeviceList,    ctl::kNameLabel, ctl::kDeviceName,  ctl::kDriverLabel,
    ctl::kDriverList,  ctl::kSelfDriverSel, ctl::kIspEna,    ctl::kIspMsFw,     ctl::kWin9xIsp,
    ctl::kWin9xVer,    ctl::kReport,        ctl::kGetInfo,   ctl::kUserIspInfo, ctl::kClose};

bool Inside(const Rect& inner, const Rect& outer) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.Right() <= outer.Right() &&
           inner.Bottom() <= outer.Bottom();
}

TEST(MainLayout, EveryControlLiesInsideTheFrameWithoutOverlapAtEverySizeThatFits) {
    for (const auto& [cols, rows] : {std::pair{kMinCols, kMinRows}, {80, 24}, {132, 60}}) {
        SCOPED_TRACE(std::to_string(cols) + "x" + std::to_string(rows));
        const MainLayout l = ComputeMainLayout(cols, rows);
        ASSERT_TRUE(l.fits);
        const Rect inside{l.window.x + 1, l.window.y + 1, l.window.w - 2, l.window.h - 2};
        for (int a : kControls) {
            EXPECT_GT(l.ControlRect(a).w, 0) << a;
            EXPECT_TRUE(Inside(l.ControlRect(a), inside)) << a;
            for (int b : kControls)
                if (a < b) {
                    EXPECT_FALSE(l.ControlRect(a).Overlaps(l.ControlRect(b))) << a << " " << b;
                }
        }
        EXPECT_TRUE(Inside(l.ispEna, l.manufacture));
        EXPECT_TRUE(Inside(l.win9xVer, l.manufacture));
        EXPECT_TRUE(Inside(l.getInfo, l.bottomGroup));
        EXPECT_TRUE(Inside(l.close, l.bottomGroup));
        EXPECT_FALSE(l.report.Overlaps(l.manufacture));
        EXPECT_FALSE(l.report.Overlaps(l.bottomGroup));
        EXPECT_GE(l.reportText.h, 4);
        // The key help line is on the screen, under the window.
        EXPECT_EQ(l.help.y, l.window.Bottom());
        EXPECT_LT(l.help.y, rows);
    }
}

TEST(MainLayout, AWindowNeedsTheMinimumSizeAndGivesExtraRowsToTheReport) {
    EXPECT_FALSE(ComputeMainLayout(kMinCols - 1, 40).fits);
    EXPECT_FALSE(ComputeMainLayout(120, kMinRows - 1).fits);
    EXPECT_FALSE(ComputeMainLayout(0, 0).fits);
    EXPECT_EQ(ComputeMainLayout(80, 34).reportText.h, ComputeMainLayout(80, 24).reportText.h + 10);
}

TEST(MainLayout, HitTestFindsEachClickableControlAndNothingOnItsCaptionOrFrame) {
    const MainLayout l = ComputeMainLayout(80, 24);
    for (int id :
         {ctl::kDeviceList, ctl::kDriverList, ctl::kSelfDriverSel, ctl::kIspEna, ctl::kIspMsFw,
          ctl::kWin9xIsp, ctl::kWin9xVer, ctl::kGetInfo, ctl::kUserIspInfo, ctl::kClose}) {
        const Rect r = l.ControlRect(id);
        EXPECT_EQ(l.HitTest(r.x, r.y), id);
        EXPECT_EQ(l.HitTest(r.Right() - 1, r.y), id);
    }
    EXPECT_EQ(l.HitTest(l.deviceLabel.x, l.deviceLabel.y), 0);
    EXPECT_EQ(l.HitTest(l.window.x, l.window.y), 0);
    EXPECT_EQ(l.HitTest(l.reportText.x + 3, l.reportText.y + 1), ctl::kReport);
}

TEST(DropDown, OpensUnderItsListAndStaysOnTheScreen) {
    const Rect screen{0, 0, 80, 24};
    const Rect list{10, 2, 8, 1};
    EXPECT_EQ(DropDownRect(list, 3, screen).y, 3);
    EXPECT_EQ(DropDownRect(list, 3, screen).h, 5);
    EXPECT_EQ(DropDownRect(list, 0, screen).h, 3);  // an empty list still opens
    EXPECT_EQ(DropDownRect({10, 18, 8, 1}, 10, screen).Bottom(), 24);
}

TEST(StatusWindow, LiesOverTheMainWindowWithItsBarRightOfItsCaption) {
    const MainLayout l = ComputeMainLayout(80, 24);
    const StatusLayout s = ComputeStatusLayout(l.window);
    EXPECT_TRUE(Inside(s.frame, l.window));
    EXPECT_TRUE(Inside(s.text, s.frame));
    EXPECT_EQ(s.caption.y, s.bar.y);
    EXPECT_LT(s.caption.Right(), s.bar.x);
    EXPECT_LT(s.bar.Right(), s.frame.Right());
    EXPECT_LT(s.text.Bottom(), s.bar.y);
}

TEST(MessageBox, FitsItsLongestLineAndCaptionAndScrollsWhatIsTooTall) {
    const Rect screen{0, 0, 80, 24};
    const BoxLayout small = ComputeBoxLayout(screen, "UsbIsp", "ISP_E2: Before ISP", false);
    EXPECT_EQ(small.text.w, 18);
    EXPECT_EQ(small.lines.size(), 1u);
    EXPECT_TRUE(Inside(small.ok, small.frame));

    std::string tall;
    for (int i = 0; i < 40; ++i) tall += "\nline";
    const BoxLayout big = ComputeBoxLayout(screen, "User ISP Update Data Dialog", tall, true);
    EXPECT_EQ(big.lines.size(), 41u);
    EXPECT_TRUE(Inside(big.frame, screen));
    EXPECT_LT(big.text.h, 41);
    EXPECT_GE(big.frame.w, static_cast<int>(std::string("User ISP Update Data Dialog").size()) + 4);
    EXPECT_GT(big.text.x, big.icon.Right());

    const BoxLayout wide = ComputeBoxLayout(screen, "x", std::string(200, 'w'), false);
    EXPECT_TRUE(Inside(wide.frame, screen));
    EXPECT_EQ(wide.lines.size(), static_cast<std::size_t>((200 + wide.text.w - 1) / wide.text.w));
}

}  // namespace
}  // namespace usbisp::tui
