#include "view/progress_dialog.h"

namespace usbisp {

ProgressDialog::ProgressDialog(MainView& owner) : view_(owner.CreateStatusWindow()) {}

void ProgressDialog::SetRange(int lower, int upper) {
    // Both bounds travel as 16-bit halves of one argument.
    lower_ = static_cast<short>(lower);
    upper_ = static_cast<short>(upper);
    if (position_ < lower_) position_ = lower_;
    if (position_ > upper_) position_ = upper_;
    view_->SetRange(lower_, upper_);
}

void ProgressDialog::SetStep(int step) {
    step_ = step;
    view_->SetStep(step);
}

int ProgressDialog::NextPosition(int position, int step, int lower, int upper) {
    int next = position + step;
    const int span = upper - lower;
    if (span <= 0) return lower;
    if (next > upper) next = (next - lower) % span + lower;
    if (next < lower) next = upper - (lower - next) % span;
    return next;
}

void ProgressDialog::StepIt() {
    position_ = NextPosition(position_, step_, lower_, upper_);
    view_->StepIt(position_);
}

void ProgressDialog::SetText(const std::string& text, unsigned char caption) {
    if (caption != 0) {
        view_->SetCaption(text);
    } else {
        view_->SetText(text);
    }
}

void ProgressDialog::Show() {
    view_->Show(true);
}
void ProgressDialog::Hide() {
    view_->Show(false);
}

}  // namespace usbisp
