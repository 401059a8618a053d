#include "script/headless.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>

#include "platform/linux/linux_platform.h"
#include "platform/linux/usb_disks.h"
#include "platform/sim/bench.h"
#include "platform/sim/bench_file.h"
#include "platform/sim/replay.h"
#include "platform/transcript_text.h"
#include "script/action_script.h"
#include "script/recording_view.h"
#include "script/session_recording.h"
#include "ui/main_dialog.h"

namespace usbisp::script {

namespace {

bool ReadScript(const HeadlessOptions& options, std::istream& in, std::string& text) {
    if (options.scriptPath == "-") {
        std::ostringstream buffer;
        buffer << in.rdbuf();
        text = buffer.str();
        return true;
    }
    std::ifstream file(options.scriptPath, std::ios::binary);
    if (!file) return false;
    std::ostringstream buffer;
    buffer << file.rdbuf();
    text = buffer.str();
    return true;
}

// Writes the firmware reader n holds to a file: an absolute path where it
// points, any other in the program's directory.
bool DumpFirmware(sim::Bench& bench, const Action& action, std::string& error) {
    if (static_cast<std::size_t>(action.reader) > bench.readerCount()) {
        error = "there is no reader " + std::to_string(action.reader);
        return false;
    }
    const auto firmware = bench.ReaderFirmware(static_cast<std::size_t>(action.reader - 1));
    const auto fail = [&] {
        // A fault of the bench's files refuses it without a system error.
        error = "cannot write \"" + action.text +
                "\": " + (errno != 0 ? std::strerror(errno) : "refused by the bench");
        return false;
    };
    errno = 0;
    std::FILE* file = action.text.front() == '/' ? std::fopen(action.text.c_str(), "wb")
                                                 : bench.OpenFile(action.text.c_str(), "wb");
    if (!file) return fail();
    const bool written = std::fwrite(firmware.data(), 1, firmware.size(), file) == firmware.size();
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (written && closed) return true;
    if (!written) errno = writeErrno;
    return fail();
}

// Reads and checks the whole script; nothing on error but the line on `err`.
std::optional<std::vector<Action>> LoadActions(const HeadlessOptions& options,
                                               const std::string& scriptName, std::istream& in,
                                               std::ostream& err) {
    std::string scriptText;
    if (!ReadScript(options, in, scriptText)) {
        err << scriptName << ": cannot read the script\n";
        return std::nullopt;
    }
    std::string error;
    auto actions = ParseActionScript(scriptText, error);
    if (!actions) err << scriptName << ": " << error << "\n";
    return actions;
}

// Each line of the transcript to `out`. Once `out` fails (a pipe whose reader
// has gone, a full disk) the lines are dropped and `err` says once that the
// transcript is cut: the run, and what it does to the devices, goes on.
TranscriptSink TranscriptTo(std::ostream& out, std::ostream& err) {
    auto cut = std::make_shared<bool>(false);
    return [&out, &err, cut](const std::string& line) {
        if (*cut) return;
        out << line << '\n' << std::flush;
        if (out) return;
        *cut = true;
        err << "usbisp: the transcript cannot be written to standard output; it is cut here, "
               "the run goes on\n"
            << std::flush;
    };
}

// Waits for the readers of a --real run to be replugged by hand; false with
// `error` when they do not come back.
using RealReplug = std::function<bool(std::string& error)>;

// Runs the main window on `platform` through the actions. `bench` carries out
// replug and dump; a run without it replugs through `realReplug` and has been
// refused any dump.
int RunSteps(Platform& platform, sim::Bench* bench, const RealReplug& realReplug,
             const std::vector<Action>& actions, const std::string& scriptName,
             const TranscriptSink& emit, std::ostream& err) {
    RecordingView view(emit);
    Core core(platform, view);
    MainDialog dialog(core);
    dialog.OnInitDialog();

    std::string error;
    for (const Action& action : actions) {
        auto stop = [&](const std::string& what) {
            err << scriptName << ": line " << action.line << ": " << what << "\n";
            return 2;
        };
        if (dialog.ended()) return stop("the main window has ended");
        switch (action.kind) {
            case Action::Kind::Click:
                dialog.OnButtonClicked(ctl::ControlIdForCaption(action.caption));
                break;
            case Action::Kind::Select:
                if (!view.ChooseEntry(action.listId, action.text))
                    return stop("no entry \"" + action.text + "\" in list " +
                                std::to_string(action.listId));
                dialog.OnSelectionChanged(action.listId);
                break;
            case Action::Kind::Cancel:
                dialog.OnCancel();
                break;
            case Action::Kind::Replug:
                if (bench) {
                    bench->Replug();
                } else if (!realReplug(error)) {
                    return stop(error);
                }
                break;
            case Action::Kind::Dump:
                if (!DumpFirmware(*bench, action, error)) return stop(error);
                break;
        }
    }
    return 0;
}

// RunSteps, with the platform behind a recorder when the run is recorded. A
// replayed call the recording has no answer for ends the run there: the
// transcript so far, the line on `err`.
int RunActions(Platform& platform, sim::Bench* bench, const RealReplug& realReplug,
               const std::vector<Action>& actions, const std::string& scriptName,
               const TranscriptSink& emit, std::ostream& err, const HeadlessOptions& options,
               const std::string& platformWords, const std::vector<lnx::LinuxDrive>& drives) {
    std::unique_ptr<rec::Recorder> recorder;
    if (!options.recordPath.empty()) {
        std::string error;
        recorder = StartRecording(platform, options.recordPath, platformWords, drives, error);
        if (!recorder) {
            err << "usbisp: " << error << "\n";
            return 2;
        }
    }
    Platform& used = recorder ? static_cast<Platform&>(*recorder) : platform;
    try {
        return RunSteps(used, bench, realReplug, actions, scriptName, emit, err);
    } catch (const sim::ReplayMismatch& mismatch) {
        err << mismatch.what() << "\n";
        return 2;
    }
}

}  // namespace

int RunHeadless(const HeadlessOptions& options, std::istream& in, std::ostream& out,
                std::ostream& err) {
    if (options.real) {
        lnx::KernelSgDriver kernel;
        lnx::SystemClock clock;
        RealMachine machine{kernel, clock, options.drives, {}, options.drives.empty()};
        return RunHeadlessReal(options, machine, in, out, err);
    }
    const std::string scriptName = options.scriptPath == "-" ? "<stdin>" : options.scriptPath;
    std::string error;
    auto config = sim::LoadBenchFile(options.benchPath, error);
    if (!config) {
        err << error << "\n";
        return 2;
    }
    auto actions = LoadActions(options, scriptName, in, err);
    if (!actions) return 2;
    for (const Action& action : *actions) {
        if (action.kind == Action::Kind::Dump &&
            static_cast<std::size_t>(action.reader) > config->readers.size()) {
            err << scriptName << ": line " << action.line << ": there is no reader "
                << action.reader << " on the bench\n";
            return 2;
        }
    }

    const TranscriptSink emit = TranscriptTo(out, err);
    sim::Bench bench(std::move(*config), options.directory, emit, options.traceIo);
    if (options.beforeRun) options.beforeRun(bench);
    const std::string words = BenchPlatformWords(options.benchPath, bench.config().windows);
    const int status =
        RunActions(bench, &bench, {}, *actions, scriptName, emit, err, options, words, {});
    if (status == 0 && options.afterRun) options.afterRun(bench);
    return status;
}

int RunHeadlessReal(const HeadlessOptions& options, RealMachine& machine, std::istream& in,
                    std::ostream& out, std::ostream& err) {
    const std::string scriptName = options.scriptPath == "-" ? "<stdin>" : options.scriptPath;
    auto actions = LoadActions(options, scriptName, in, err);
    if (!actions) return 2;
    // The firmware of a real reader is read by no one.
    for (const Action& action : *actions) {
        if (action.kind == Action::Kind::Dump) {
            err << scriptName << ": line " << action.line << ": dump needs the bench, not --real\n";
            return 2;
        }
    }

    const TranscriptSink emit = TranscriptTo(out, err);
    lnx::LinuxOptions layer;
    layer.paths = machine.paths;
    layer.directory = options.directory;
    layer.events = emit;
    layer.traceIo = options.traceIo;
    layer.complain = [&err](const std::string& line) { err << line << "\n" << std::flush; };
    layer.drives = machine.findReaders
                       ? lnx::FindUsbDisks(machine.paths, machine.sg, layer.complain)
                       : machine.drives;
    lnx::LinuxPlatform platform(std::move(layer), machine.sg, machine.clock);
    const RealReplug replug = [&platform](std::string& error) {
        return platform.AwaitReplug(lnx::kReplugWaitMs, error);
    };
    const int status = RunActions(platform, nullptr, replug, *actions, scriptName, emit, err,
                                  options, RealPlatformWords(), platform.drives());
    if (status == 0 && options.afterRealRun) options.afterRealRun(platform);
    return status;
}

}  // namespace usbisp::script
