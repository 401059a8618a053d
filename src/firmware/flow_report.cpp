#include "firmware/flow_report.h"

namespace usbisp {

void FlowReport::OpenWindow(int lower, int upper) {
    firmware_.progressWindow = std::make_unique<ProgressDialog>(messages_.view);
    firmware_.progressWindow->SetRange(lower, upper);
    firmware_.progressWindow->Show();
}

void FlowReport::Caption(const std::string& text) {
    firmware_.progressWindow->SetText(text, 1);
}

void FlowReport::ShowText(const std::string& text) {
    firmware_.progressWindow->SetText(text, 0);
}

void FlowReport::Publish() {
    PublishToStatusText();
    ShowText(copy_);
}

void FlowReport::Advance(int step) {
    if (step == 0) return;
    firmware_.progressWindow->SetStep(step);
    firmware_.progressWindow->StepIt();
}

void FlowReport::Hide() {
    firmware_.progressWindow->Hide();
}

void FlowReport::Fail(const std::string& box, const std::string& line) {
    Hide();
    messages_.Box(box);
    messages_.Line(line);
}

}  // namespace usbisp
