#include "tui/interactive.h"

#include <iostream>

#include "platform/sim/bench.h"
#include "platform/sim/bench_file.h"
#include "tui/draw_util.h"
#include "tui/main_input.h"
#include "tui/terminal.h"
#include "tui/tui_view.h"
#include "ui/main_dialog.h"

namespace usbisp::tui {

namespace {

constexpr const char* kReplugged =
    " F5: every reader was unplugged and plugged in again; press GetInfo to read it";

// Long enough to see each step of the bar, short enough not to hold up a run.
constexpr int kStepPauseMs = 150;

bool IsFirmwareCommand(int id) {
    return id == ctl::kWin9xIsp || id == ctl::kWin9xVer;
}

// Hands one intent to the main window's command map (or to the bench).
void Dispatch(const Intent& intent, MainDialog& dialog, TuiView& view, sim::Bench& bench) {
    switch (intent.kind) {
        case Intent::Kind::Click:
            // The result of a firmware command stands at the end of its text.
            view.model().ShowNextReportFromEnd(IsFirmwareCommand(intent.id));
            view.SetBusy(true);
            dialog.OnButtonClicked(intent.id);
            view.SetBusy(false);
            break;
        case Intent::Kind::SelectionChanged:
            view.model().ShowNextReportFromEnd(false);
            view.SetBusy(true);
            dialog.OnSelectionChanged(intent.id);
            view.SetBusy(false);
            break;
        case Intent::Kind::Cancel:
            dialog.OnCancel();
            break;
        case Intent::Kind::Replug:
            bench.Replug();
            view.SetNote(kReplugged);
            break;
        case Intent::Kind::None:
            break;
    }
}

}  // namespace

int RunInteractive(const std::string& benchPath, const std::string& directory) {
    std::string error;
    auto config = sim::LoadBenchFile(benchPath, error);
    if (!config) {
        std::cerr << error << "\n";
        return 2;
    }

    Terminal terminal;
    if (!terminal.Open(error)) {
        std::cerr << "usbisp: " << error << "\n";
        return 2;
    }
    InitStyles();

    const bool realtime = config->realtime;
    // The window shows no transcript: the bench's events have no place here.
    sim::Bench bench(
        std::move(*config), directory, [](const std::string&) {}, false);
    TuiView view(terminal);
    view.SetStepPause(realtime ? kStepPauseMs : 0);
    Core core(bench, view);
    MainDialog dialog(core);

    view.Redraw();
    view.SetBusy(true);
    const bool shown = dialog.OnInitDialog();
    view.SetBusy(false);
    if (shown) view.ShowMainWindow();

    while (!dialog.ended() && !view.ended()) {
        view.Redraw();
        const Input input = terminal.Read();
        view.SetNote("");
        const MainLayout layout = ComputeMainLayout(terminal.Cols(), terminal.Rows());
        Dispatch(HandleMainInput(view.model(), layout, input), dialog, view, bench);
    }
    terminal.Close();
    return 0;
}

}  // namespace usbisp::tui
