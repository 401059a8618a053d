#include "tui/interactive.h"

#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "platform/linux/linux_platform.h"
#include "platform/linux/usb_disks.h"
#include "platform/sim/bench.h"
#include "platform/sim/bench_file.h"
#include "platform/sim/replay.h"
#include "script/session_recording.h"
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

constexpr const char* kReplugByHand =
    " F5 replugs the bench's readers: unplug the reader and plug it in again, then GetInfo";

// Hands one intent to the main window's command map (or to `replug`; without
// one, the readers are real and the operator replugs them).
void Dispatch(const Intent& intent, MainDialog& dialog, TuiView& view,
              const std::function<void()>& replug) {
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
            if (replug) replug();
            view.SetNote(replug ? kReplugged : kReplugByHand);
            break;
        case Intent::Kind::None:
            break;
    }
}

// What the platform says about the devices: the lines said before the
// window opened, and the window once it is open.
struct DeviceNotes {
    std::vector<std::string> early;
    TuiView* view = nullptr;
};

// The main window on `platform` until it ends, in an open terminal; `notes`
// become lines of its report.
void RunWindow(Terminal& terminal, Platform& platform, int stepPauseMs,
               const std::function<void()>& replug, DeviceNotes* notes = nullptr) {
    TuiView view(terminal);
    view.SetStepPause(stepPauseMs);
    if (notes) {
        for (const std::string& line : notes->early) view.AddReportNote(line);
        notes->view = &view;
    }
    Core core(platform, view);
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
        Dispatch(HandleMainInput(view.model(), layout, input), dialog, view, replug);
    }
    if (notes) notes->view = nullptr;
}

// A line of the Linux layer as the report shows it, without the program's
// name in front.
std::string AsReportLine(const std::string& line) {
    const std::string name = "usbisp: ";
    return line.rfind(name, 0) == 0 ? line.substr(name.size()) : line;
}

// Runs the window on `platform`, behind a recorder when `recordPath` names
// one; false with `error` when the recording cannot be written or a replay
// ends the session.
bool RunRecorded(Terminal& terminal, Platform& platform, int pauseMs,
                 const std::function<void()>& replug, const std::string& recordPath,
                 const std::string& words, const std::vector<lnx::LinuxDrive>& drives,
                 std::string& error, DeviceNotes* notes = nullptr) {
    std::unique_ptr<rec::Recorder> recorder;
    if (!recordPath.empty()) {
        recorder = script::StartRecording(platform, recordPath, words, drives, error);
        if (!recorder) return false;
    }
    try {
        RunWindow(terminal, recorder ? *recorder : platform, pauseMs, replug, notes);
    } catch (const sim::ReplayMismatch& mismatch) {
        error = mismatch.what();
        return false;
    }
    return true;
}

}  // namespace

int RunInteractive(const std::string& benchPath, const std::string& directory,
                   const std::string& recordPath) {
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
    const bool ran = RunRecorded(
        terminal, bench, realtime ? kStepPauseMs : 0, [&bench] { bench.Replug(); }, recordPath,
        script::BenchPlatformWords(benchPath, bench.config().windows), {}, error);
    terminal.Close();
    if (!ran) std::cerr << "usbisp: " << error << "\n";
    return ran ? 0 : 2;
}

int RunInteractiveReal(const std::vector<lnx::LinuxDrive>& drives, const std::string& directory,
                       const std::string& recordPath) {
    // Lines about the devices go to stderr at once until the window opens,
    // then wait for it to close; each is a line of the window's report too.
    std::vector<std::string> held;
    bool windowOpen = false;
    DeviceNotes notes;
    lnx::LinuxOptions options;
    options.directory = directory;
    options.complain = [&](const std::string& line) {
        if (notes.view) {
            notes.view->AddReportNote(AsReportLine(line));
        } else {
            notes.early.push_back(AsReportLine(line));
        }
        if (windowOpen) {
            held.push_back(line);
        } else {
            std::cerr << line << "\n";
        }
    };
    lnx::KernelSgDriver kernel;
    options.drives =
        drives.empty() ? lnx::FindUsbDisks(options.paths, kernel, options.complain) : drives;
    lnx::SystemClock clock;
    lnx::LinuxPlatform platform(std::move(options), kernel, clock);

    Terminal terminal;
    std::string error;
    if (!terminal.Open(error)) {
        std::cerr << "usbisp: " << error << "\n";
        return 2;
    }
    InitStyles();
    windowOpen = true;
    const bool ran = RunRecorded(terminal, platform, 0, {}, recordPath, script::RealPlatformWords(),
                                 platform.drives(), error, &notes);
    terminal.Close();
    for (const std::string& line : held) std::cerr << line << "\n";
    if (!ran) std::cerr << "usbisp: " << error << "\n";
    return ran ? 0 : 2;
}

}  // namespace usbisp::tui
