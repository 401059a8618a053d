// The running account of a programming or verification run: its status
// window, the report copy of the status text, and the failure path that hides
// the window before the box.
#pragma once

#include <string>

#include "firmware/firmware_state.h"
#include "view/operator_messages.h"

namespace usbisp {

class FlowReport {
  public:
    FlowReport(MainView& view, std::string& statusText, FirmwareState& firmware)
        : messages_{view, statusText}, firmware_(firmware) {}

    const OperatorMessages& messages() const { return messages_; }

    // A new status window, replacing the previous flow's, with its range set
    // and shown.
    void OpenWindow(int lower, int upper);
    void Caption(const std::string& text);
    void ShowText(const std::string& text);
    // Starts the report copy from the status text.
    void TakeCopy() { copy_ = messages_.statusText; }
    const std::string& copy() const { return copy_; }
    // A line in the report copy, which the status text and the window follow.
    void Report(const std::string& line) {
        Append(line);
        Publish();
    }
    // A line in the report copy alone; the status text and the window show it
    // with the next publication.
    void Append(const std::string& line) { copy_ += "\n" + line; }
    // The report copy into the status text and the window's text.
    void Publish();
    // The report copy into the status text; the window keeps its text.
    void PublishToStatusText() { messages_.statusText = copy_; }
    // SetStep then StepIt; a step of 0 leaves the bar alone.
    void Advance(int step);
    void Hide();
    // Hides the window, shows the box, then appends the line to the status text.
    void Fail(const std::string& box, const std::string& line);
    void Fail(const std::string& text) { Fail(text, text); }

  private:
    OperatorMessages messages_;
    FirmwareState& firmware_;
    std::string copy_;
};

}  // namespace usbisp
