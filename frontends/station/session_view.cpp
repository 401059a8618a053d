#include "station/session_view.h"

namespace usbisp::station {

namespace {

// A status window as the recorder writes it down, its bar followed for the
// board.
class WatchedStatusView : public StatusView {
  public:
    WatchedStatusView(std::unique_ptr<StatusView> inner, ProgressSink progress)
        : inner_(std::move(inner)), progress_(std::move(progress)) {}

    void SetRange(int lower, int upper) override {
        inner_->SetRange(lower, upper);
        lower_ = lower;
        upper_ = upper;
        Report(lower);
    }
    void SetStep(int step) override { inner_->SetStep(step); }
    void StepIt(int position) override {
        inner_->StepIt(position);
        Report(position);
    }
    void SetCaption(const std::string& text) override { inner_->SetCaption(text); }
    void SetText(const std::string& text) override { inner_->SetText(text); }
    void Show(bool visible) override { inner_->Show(visible); }

  private:
    void Report(int position) {
        if (progress_) progress_(position, lower_, upper_);
    }

    std::unique_ptr<StatusView> inner_;
    ProgressSink progress_;
    // The progress control's default range until the flow sets its own.
    int lower_ = 0;
    int upper_ = 100;
};

}  // namespace

void SessionView::MessageBox(const std::string& text, const std::string& caption, BoxIcon icon) {
    boxes_.push_back(text);
    recorder_.MessageBox(text, caption, icon);
}

std::unique_ptr<StatusView> SessionView::CreateStatusWindow() {
    return std::make_unique<WatchedStatusView>(recorder_.CreateStatusWindow(), progress_);
}

}  // namespace usbisp::station
