// The views of the terminal front end: the main window, its message boxes and
// the status windows, drawn with curses. Every change the system makes is
// drawn at once, because the flows do not return to the event loop while they
// run; message boxes run their own loop until the operator closes them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tui/draw.h"
#include "tui/main_model.h"
#include "tui/terminal.h"
#include "tui/windows_model.h"
#include "view/views.h"

namespace usbisp::tui {

class TuiView : public MainView {
  public:
    explicit TuiView(Terminal& terminal) : terminal_(terminal) {}

    // MainView
    void MessageBox(const std::string& text, const std::string& caption, BoxIcon icon) override;
    void SetControlText(int id, const std::string& text) override;
    void ListReset(int id) override;
    void ListAdd(int id, const std::string& text) override;
    void ListSelect(int id, int index) override;
    std::string ListSelectedText(int id) override;
    void EndDialog(bool ok) override;
    std::unique_ptr<StatusView> CreateStatusWindow() override;

    // How long each step of a status window's bar stays on screen before the
    // flow goes on: on a bench in real time the emulated controller answers
    // at once, and without a pause the bar would jump from start to end.
    void SetStepPause(int milliseconds) { stepPauseMs_ = milliseconds; }

    MainModel& model() { return model_; }
    bool ended() const { return ended_; }

    // The main window appears once its initialisation is over.
    void ShowMainWindow() { mainVisible_ = true; }
    // While a command runs the window takes no input.
    void SetBusy(bool busy) { busy_ = busy; }
    // A line in place of the key help, until the next input.
    void SetNote(std::string note) { note_ = std::move(note); }
    // A line about the devices from the platform (a drive left out, and
    // why): the report shown now and every later one end with it, where the
    // operator looks, instead of on a standard error the window covers.
    void AddReportNote(const std::string& line);

    // Draws everything as it stands now.
    void Redraw();
    // A status window changed while its flow runs: drawn at once; a change of
    // the terminal's size is taken in, other input is dropped.
    void StatusChanged();
    // The bar moved: drawn, then held for the step pause.
    void StatusStepped();

    // For the status windows: they appear in creation order.
    void AddStatusWindow(const StatusWindowState* status) { status_.push_back(status); }
    void RemoveStatusWindow(const StatusWindowState* status);

  private:
    // The report as the program set it, with the notes after it.
    std::string ReportWithNotes() const;

    std::string report_;
    std::vector<std::string> reportNotes_;
    Terminal& terminal_;
    MainModel model_;
    std::vector<const StatusWindowState*> status_;
    const MessageBoxState* box_ = nullptr;
    bool mainVisible_ = false;
    bool busy_ = false;
    bool ended_ = false;
    int stepPauseMs_ = 0;
    std::string note_;
};

}  // namespace usbisp::tui
