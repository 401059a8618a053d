// The operator's keys and clicks in the main window and in a message box.
#include "tui/main_input.h"

#include <gtest/gtest.h>

#include "tui/box_input.h"
#include "tui/windows_model.h"
#include "view/views.h"

namespace usbisp::tui {
namespace {

Input Press(Key key) {
    Input in;
    in.key = key;
    return in;
}

Input Click(const Rect& r, MouseButton button = MouseButton::Left) {
    Input in;
    in.key = Key::Mouse;
    in.x = r.x + r.w / 2;
    in.y = r.y;
    in.button = button;
    return in;
}

class MainInput : public ::testing::Test {
  protected:
    Intent Send(const Input& in) { return HandleMainInput(model, layout, in); }

    MainModel model;
    MainLayout layout = ComputeMainLayout(80, 24);
};

TEST_F(MainInput, TabVisitsEveryControlInDialogOrderAndShiftTabGoesBack) {
    const int order[] = {ctl::kDeviceList,  ctl::kDriverList, ctl::kSelfDriverSel,
                         ctl::kIspEna,      ctl::kIspMsFw,    ctl::kWin9xIsp,
                         ctl::kWin9xVer,    ctl::kReport,     ctl::kGetInfo,
                         ctl::kUserIspInfo, ctl::kClose,      ctl::kDeviceList};
    for (int id : order) {
        EXPECT_EQ(model.focus(), id);
        EXPECT_EQ(Send(Press(Key::Tab)).kind, Intent::Kind::None);
    }
    Send(Press(Key::BackTab));
    Send(Press(Key::BackTab));
    EXPECT_EQ(model.focus(), ctl::kClose);
}

TEST_F(MainInput, CheckBoxFlipsOnEachPressAndEveryPressReachesItsHandler) {
    model.SetFocus(ctl::kIspEna);
    Intent first = Send(Press(Key::Space));
    EXPECT_EQ(first.kind, Intent::Kind::Click);
    EXPECT_EQ(first.id, ctl::kIspEna);
    EXPECT_TRUE(model.Checked(ctl::kIspEna));
    EXPECT_EQ(Send(Press(Key::Enter)).id, ctl::kIspEna);
    EXPECT_FALSE(model.Checked(ctl::kIspEna));
    EXPECT_FALSE(model.Checked(ctl::kIspMsFw));
}

TEST_F(MainInput, ButtonsClickByKeyAndByMouse) {
    model.SetFocus(ctl::kWin9xIsp);
    EXPECT_EQ(Send(Press(Key::Enter)).id, ctl::kWin9xIsp);
    const Intent clicked = Send(Click(layout.userIspInfo));
    EXPECT_EQ(clicked.kind, Intent::Kind::Click);
    EXPECT_EQ(clicked.id, ctl::kUserIspInfo);
    EXPECT_EQ(model.focus(), ctl::kUserIspInfo);
    EXPECT_EQ(Send(Click(layout.nameLabel)).kind, Intent::Kind::None);
}

TEST_F(MainInput, AnOpenedListChoosesByKeysOrClickAndEscapeOnlyClosesIt) {
    SortedList& list = model.List(ctl::kDriverList);
    list.Add("ZQ_URDR.PDR");
    list.Add("ZIZIRADA.ZAV");
    list.Add("RE20RERI.VAR");
    list.Select(1);
    model.SetFocus(ctl::kDriverList);
    EXPECT_EQ(Send(Press(Key::Enter)).kind, Intent::Kind::None);
    EXPECT_EQ(model.openList(), ctl::kDriverList);
    EXPECT_EQ(model.highlight(), 1);
    Send(Press(Key::Down));
    Send(Press(Key::Down));  // stays on the last entry
    const Intent chosen = Send(Press(Key::Enter));
    EXPECT_EQ(chosen.kind, Intent::Kind::SelectionChanged);
    EXPECT_EQ(chosen.id, ctl::kDriverList);
    EXPECT_EQ(list.SelectedText(), "ZQ_URDR.PDR");
    EXPECT_EQ(model.openList(), 0);

    Send(Press(Key::Space));
    EXPECT_EQ(Send(Press(Key::Escape)).kind, Intent::Kind::None);
    EXPECT_EQ(model.openList(), 0);

    // By mouse: the entry under the pointer, the first one at the list's top.
    Send(Click(layout.driverList));
    const Rect drop = DropDownRect(layout.driverList, 3, layout.screen);
    const Intent picked = Send(Click({drop.x + 1, drop.y + 1, 5, 1}));
    EXPECT_EQ(picked.kind, Intent::Kind::SelectionChanged);
    EXPECT_EQ(list.SelectedText(), "RE20RERI.VAR");
}

TEST_F(MainInput, AnEmptyListOpensAndChoosesNothing) {
    model.SetFocus(ctl::kDeviceList);
    Send(Press(Key::Enter));
    EXPECT_EQ(Send(Press(Key::Enter)).kind, Intent::Kind::None);
    EXPECT_EQ(model.openList(), 0);
}

TEST_F(MainInput, EscapeTakesTheCancelPathAndF5Replugs) {
    EXPECT_EQ(Send(Press(Key::Escape)).kind, Intent::Kind::Cancel);
    EXPECT_EQ(Send(Press(Key::Replug)).kind, Intent::Kind::Replug);
}

TEST_F(MainInput, ReportScrollsWithinItsTextAndANewTextStartsAtItsTopOrEnd) {
    std::string report;
    for (int i = 0; i < 30; ++i) report += "\nline " + std::to_string(i);
    model.SetText(ctl::kReport, report);
    EXPECT_EQ(model.reportTop(), 0);
    const int height = layout.reportText.h;
    const int last = 31 - height;

    model.SetFocus(ctl::kReport);
    Send(Press(Key::Down));
    EXPECT_EQ(model.reportTop(), 1);
    Send(Press(Key::Up));
    Send(Press(Key::Up));
    EXPECT_EQ(model.reportTop(), 0);
    for (int i = 0; i < 5; ++i) Send(Press(Key::PageDown));
    EXPECT_EQ(model.reportTop(), last);
    Send(Click(layout.report, MouseButton::WheelUp));
    EXPECT_EQ(model.reportTop(), last - 3);

    model.ShowNextReportFromEnd(true);
    model.SetText(ctl::kReport, report);
    Send(Press(Key::Up));  // from the end
    EXPECT_EQ(model.reportTop(), last - 1);
}

TEST_F(MainInput, NothingHappensWhileTheTerminalIsTooSmall) {
    const MainLayout tiny = ComputeMainLayout(40, 10);
    model.SetFocus(ctl::kIspEna);
    EXPECT_EQ(HandleMainInput(model, tiny, Press(Key::Space)).kind, Intent::Kind::None);
    EXPECT_EQ(HandleMainInput(model, tiny, Press(Key::Escape)).kind, Intent::Kind::None);
    EXPECT_FALSE(model.Checked(ctl::kIspEna));
}

TEST(MessageBoxInput, OkClosesByKeyOrClickAndTheTextScrolls) {
    const Rect screen{0, 0, 80, 24};
    MessageBoxState box;
    box.caption = "User ISP Update Data Dialog";
    for (int i = 0; i < 40; ++i) box.text += "\nline";
    EXPECT_FALSE(HandleBoxInput(box, screen, true, Press(Key::Down)));
    EXPECT_EQ(box.top, 1);
    EXPECT_FALSE(HandleBoxInput(box, screen, true, Press(Key::End)));
    EXPECT_FALSE(HandleBoxInput(box, screen, true, Press(Key::Down)));
    const BoxLayout b = ComputeBoxLayout(screen, box.caption, box.text, false);
    EXPECT_EQ(box.top, 41 - b.text.h);
    EXPECT_FALSE(HandleBoxInput(box, screen, true, Click(b.text)));
    EXPECT_TRUE(HandleBoxInput(box, screen, true, Click(b.ok)));
    for (Key key : {Key::Enter, Key::Space, Key::Escape})
        EXPECT_TRUE(HandleBoxInput(box, screen, true, Press(key)));
    EXPECT_FALSE(HandleBoxInput(box, screen, false, Press(Key::Enter)));
}

TEST(ProgressBar, FillsInProportionToThePositionWithinTheRange) {
    EXPECT_EQ(FilledCells(0, 0, 15, 30), 0);
    EXPECT_EQ(FilledCells(5, 0, 15, 30), 10);
    EXPECT_EQ(FilledCells(15, 0, 15, 30), 30);
    EXPECT_EQ(FilledCells(20, 0, 15, 30), 30);
    EXPECT_EQ(FilledCells(3, 0, 10, 7), 2);
    EXPECT_EQ(FilledCells(5, 5, 5, 30), 0);  // an empty range shows nothing
}

}  // namespace
}  // namespace usbisp::tui
