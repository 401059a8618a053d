// The report field's and the boxes' text: line breaks, wrapping, scrolling.
#include "tui/text_view.h"

#include <gtest/gtest.h>

namespace usbisp::tui {
namespace {

using Lines = std::vector<std::string>;

TEST(WrapText, KeepsLineBreaksAndEmptyLines) {
    EXPECT_EQ(WrapText("", 40), Lines{});
    EXPECT_EQ(WrapText("\nERROR: Device Not Ready\n  P/S: plug-out", 40),
              (Lines{"", "ERROR: Device Not Ready", "  P/S: plug-out"}));
    EXPECT_EQ(WrapText("a\r\nb\n", 40), (Lines{"a", "b", ""}));
}

TEST(WrapText, WrapsAfterTheLastBlankThatFitsElseAtTheWidth) {
    EXPECT_EQ(WrapText("Error!!! Can Not Open DEMO.adr String address file.", 22),
              (Lines{"Error!!! Can Not Open", "DEMO.adr String", "address file."}));
    EXPECT_EQ(WrapText("========================", 10),
              (Lines{"==========", "==========", "===="}));
    // A blank just past the width goes, and the line fills the area.
    EXPECT_EQ(WrapText("abcde fgh", 5), (Lines{"abcde", "fgh"}));
}

TEST(WrapText, ExpandsTabsAndReplacesBytesTheTerminalCannotShow) {
    EXPECT_EQ(WrapText("ab\tc", 40), Lines{"ab      c"});
    EXPECT_EQ(WrapText(std::string("x\x01y\xb5z"), 40), Lines{"x?y?z"});
}

TEST(Scrolling, KeepsTheTopWithinTheText) {
    EXPECT_EQ(ClampTop(-3, 30, 10), 0);
    EXPECT_EQ(ClampTop(25, 30, 10), 20);
    EXPECT_EQ(ClampTop(5, 4, 10), 0);  // everything fits
    EXPECT_EQ(EndTop(30, 10), 20);
    EXPECT_EQ(EndTop(3, 10), 0);
}

TEST(Scrolling, ThumbSpansTheTrackWhenAllFitsAndReachesItsEndAtTheEnd) {
    const Thumb all = ScrollThumb(0, 5, 10, 10);
    EXPECT_EQ(all.offset, 0);
    EXPECT_EQ(all.size, 10);
    const Thumb top = ScrollThumb(0, 40, 10, 10);
    EXPECT_EQ(top.offset, 0);
    EXPECT_EQ(top.size, 2);
    const Thumb end = ScrollThumb(30, 40, 10, 10);
    EXPECT_EQ(end.offset + end.size, 10);
}

}  // namespace
}  // namespace usbisp::tui
