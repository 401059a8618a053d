// The status window of a firmware flow: a caption, a text area with the running
// account of the flow, and a progress bar.
#pragma once

#include <memory>
#include <string>

#include "view/views.h"

namespace usbisp {

class ProgressDialog {
  public:
    // Creates the window at once, hidden, with the working bar at 0.
    explicit ProgressDialog(MainView& owner);

    void SetRange(int lower, int upper);
    void SetStep(int step);
    // Advances the bar by the step; past the upper bound the bar starts again
    // from the lower bound, as the Windows progress control computes it.
    void StepIt();
    // caption non-zero: the caption field; otherwise the text area.
    void SetText(const std::string& text, unsigned char caption);
    void Show();
    void Hide();

    int position() const { return position_; }

    // The next position of a progress bar (lower, upper, step) standing at
    // `position`: the Windows control's rule, shared by every front end.
    static int NextPosition(int position, int step, int lower, int upper);

  private:
    std::unique_ptr<StatusView> view_;
    int lower_ = 0;
    int upper_ = 100;
    int step_ = 10;
    int position_ = 0;
};

}  // namespace usbisp
