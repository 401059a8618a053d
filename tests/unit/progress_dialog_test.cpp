#include "view/progress_dialog.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/fake_view.h"

namespace usbisp {
namespace {

TEST(ProgressBar, StepsUpToTheUpperBound) {
    EXPECT_EQ(ProgressDialog::NextPosition(0, 3, 0, 15), 3);
    EXPECT_EQ(ProgressDialog::NextPosition(11, 4, 0, 15), 15);
}

TEST(ProgressBar, PastTheUpperBoundStartsAgainFromTheLowerBound) {
    // (position + step - lower) mod (upper - lower) + lower
    EXPECT_EQ(ProgressDialog::NextPosition(15, 2, 0, 15), 2);
    EXPECT_EQ(ProgressDialog::NextPosition(13, 5, 0, 15), 3);
    EXPECT_EQ(ProgressDialog::NextPosition(9, 4, 0, 10), 3);
    EXPECT_EQ(ProgressDialog::NextPosition(18, 4, 10, 20), 12);
    EXPECT_EQ(ProgressDialog::NextPosition(14, 30, 0, 15), 14);
}

TEST(ProgressDialog, FirstAttemptWeightsReachFifteenAndARetryWraps) {
    test::FakeView view;
    ProgressDialog dialog(view);
    dialog.SetRange(0, 15);
    for (int step : {3, 2, 2, 2, 2, 4}) {
        dialog.SetStep(step);
        dialog.StepIt();
    }
    EXPECT_EQ(dialog.position(), 15);
    dialog.SetStep(2);
    dialog.StepIt();
    EXPECT_EQ(dialog.position(), 2);
    EXPECT_EQ(view.status.back().positions, (std::vector<int>{3, 5, 7, 9, 11, 15, 2}));
}

TEST(ProgressDialog, CaptionFlagChoosesTheField) {
    test::FakeView view;
    ProgressDialog dialog(view);
    dialog.SetText("    ISP status : ", 1);
    dialog.SetText("\nline", 0);
    dialog.Show();
    dialog.Hide();
    const auto& status = view.status.back();
    EXPECT_EQ(status.caption, "    ISP status : ");
    EXPECT_EQ(status.text, "\nline");
    EXPECT_EQ(status.events, (std::vector<std::string>{"caption", "text", "show", "hide"}));
}

TEST(ProgressDialog, EveryDialogIsAFreshWindowAtZero) {
    test::FakeView view;
    {
        ProgressDialog first(view);
        first.SetRange(0, 15);
        first.SetStep(3);
        first.StepIt();
    }
    ProgressDialog second(view);
    second.SetRange(0, 15);
    EXPECT_EQ(second.position(), 0);
    EXPECT_EQ(view.status.size(), 2u);
}

}  // namespace
}  // namespace usbisp
