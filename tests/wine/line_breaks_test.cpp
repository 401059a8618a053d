#include "win32/line_breaks.h"

#include <gtest/gtest.h>

namespace usbisp::win32 {
namespace {

TEST(LineBreaks, EveryLineFeedBecomesALineBreakOfTheEditControl) {
    EXPECT_EQ(ToWindowsLineBreaks("\nSuccess Number Of ISP: 1\nError"),
              "\r\nSuccess Number Of ISP: 1\r\nError");
    EXPECT_EQ(ToWindowsLineBreaks("\n\nA\n"), "\r\n\r\nA\r\n");
    EXPECT_EQ(ToWindowsLineBreaks(""), "");
}

TEST(LineBreaks, ALineBreakAlreadyInWindowsFormIsKept) {
    EXPECT_EQ(ToWindowsLineBreaks("A\r\nB\rC"), "A\r\nB\rC");
}

TEST(LineBreaks, ReadingBackGivesTheSystemsText) {
    const std::string text = "\n  P/S: Device Not Ready Or Error Driver select.\n\n Total ";
    EXPECT_EQ(FromWindowsLineBreaks(ToWindowsLineBreaks(text)), text);
    EXPECT_EQ(FromWindowsLineBreaks("A\rB\r"), "A\rB\r");
}

}  // namespace
}  // namespace usbisp::win32
