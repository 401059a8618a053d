#include "tui/tui_view.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "tui/box_input.h"

namespace usbisp::tui {

namespace {

class TuiStatusView : public StatusView {
  public:
    explicit TuiStatusView(TuiView& owner) : owner_(owner) { owner_.AddStatusWindow(&state_); }
    ~TuiStatusView() override { owner_.RemoveStatusWindow(&state_); }

    void SetRange(int lower, int upper) override {
        state_.lower = lower;
        state_.upper = upper;
        state_.position = std::clamp(state_.position, lower, std::max(lower, upper));
        Changed();
    }
    // The bar moves only with StepIt.
    void SetStep(int) override {}
    void StepIt(int position) override {
        state_.position = position;
        owner_.StatusStepped();
    }
    void SetCaption(const std::string& text) override {
        state_.caption = text;
        Changed();
    }
    void SetText(const std::string& text) override {
        state_.text = text;
        Changed();
    }
    void Show(bool visible) override {
        state_.visible = visible;
        Changed();
    }

  private:
    void Changed() { owner_.StatusChanged(); }

    TuiView& owner_;
    StatusWindowState state_;
};

}  // namespace

void TuiView::Redraw() {
    Scene scene;
    scene.main = &model_;
    scene.mainVisible = mainVisible_;
    scene.statusWindows = status_;
    scene.box = box_;
    scene.busy = busy_;
    scene.note = note_;
    DrawScene(scene, terminal_.Cols(), terminal_.Rows());
}

void TuiView::StatusChanged() {
    for (Input in = terminal_.Poll(); in.key != Key::None; in = terminal_.Poll()) {
        // Resizes are taken in by curses as they are read; the redraw below
        // uses the new size.
    }
    Redraw();
}

void TuiView::StatusStepped() {
    StatusChanged();
    if (stepPauseMs_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(stepPauseMs_));
}

void TuiView::RemoveStatusWindow(const StatusWindowState* status) {
    status_.erase(std::remove(status_.begin(), status_.end(), status), status_.end());
}

void TuiView::MessageBox(const std::string& text, const std::string& caption, BoxIcon icon) {
    MessageBoxState box;
    box.caption = caption;
    box.text = text;
    box.icon = icon;
    const MessageBoxState* outer = box_;
    box_ = &box;
    note_.clear();
    while (true) {
        Redraw();
        const MainLayout layout = ComputeMainLayout(terminal_.Cols(), terminal_.Rows());
        if (HandleBoxInput(box, layout.screen, layout.fits, terminal_.Read())) break;
    }
    box_ = outer;
    Redraw();
}

void TuiView::SetControlText(int id, const std::string& text) {
    if (id == ctl::kReport) {
        report_ = text;
        model_.SetText(id, ReportWithNotes());
    } else {
        model_.SetText(id, text);
    }
    Redraw();
}

void TuiView::AddReportNote(const std::string& line) {
    reportNotes_.push_back(line);
    model_.SetText(ctl::kReport, ReportWithNotes());
    Redraw();
}

std::string TuiView::ReportWithNotes() const {
    std::string text = report_;
    for (const std::string& note : reportNotes_) {
        if (!text.empty() && text.back() != '\n') text += '\n';
        text += note + '\n';
    }
    return text;
}

void TuiView::ListReset(int id) {
    model_.List(id).Reset();
    Redraw();
}

void TuiView::ListAdd(int id, const std::string& text) {
    model_.List(id).Add(text);
    Redraw();
}

void TuiView::ListSelect(int id, int index) {
    model_.List(id).Select(index);
    Redraw();
}

std::string TuiView::ListSelectedText(int id) {
    return model_.List(id).SelectedText();
}

void TuiView::EndDialog(bool) {
    ended_ = true;
}

std::unique_ptr<StatusView> TuiView::CreateStatusWindow() {
    return std::make_unique<TuiStatusView>(*this);
}

}  // namespace usbisp::tui
