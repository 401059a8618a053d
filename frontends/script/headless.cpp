#include "script/headless.h"

#include <fstream>
#include <iostream>
#include <sstream>

#include "platform/sim/bench.h"
#include "platform/sim/bench_file.h"
#include "script/action_script.h"
#include "script/recording_view.h"
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

// Writes the firmware reader n holds to a file in the program's directory.
bool DumpFirmware(sim::Bench& bench, const Action& action, std::string& error) {
    if (static_cast<std::size_t>(action.reader) > bench.readerCount()) {
        error = "there is no reader " + std::to_string(action.reader);
        return false;
    }
    const auto firmware = bench.ReaderFirmware(static_cast<std::size_t>(action.reader - 1));
    std::FILE* file = bench.OpenFile(action.text.c_str(), "wb");
    if (!file) {
        error = "cannot write \"" + action.text + "\"";
        return false;
    }
    const bool written = std::fwrite(firmware.data(), 1, firmware.size(), file) == firmware.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) error = "cannot write \"" + action.text + "\"";
    return written && closed;
}

}  // namespace

int RunHeadless(const HeadlessOptions& options, std::istream& in, std::ostream& out,
                std::ostream& err) {
    const std::string scriptName = options.scriptPath == "-" ? "<stdin>" : options.scriptPath;
    std::string error;
    auto config = sim::LoadBenchFile(options.benchPath, error);
    if (!config) {
        err << error << "\n";
        return 2;
    }
    std::string scriptText;
    if (!ReadScript(options, in, scriptText)) {
        err << scriptName << ": cannot read the script\n";
        return 2;
    }
    auto actions = ParseActionScript(scriptText, error);
    if (!actions) {
        err << scriptName << ": " << error << "\n";
        return 2;
    }
    for (const Action& action : *actions) {
        if (action.kind == Action::Kind::Dump &&
            static_cast<std::size_t>(action.reader) > config->readers.size()) {
            err << scriptName << ": line " << action.line << ": there is no reader "
                << action.reader << " on the bench\n";
            return 2;
        }
    }

    auto emit = [&out](const std::string& line) { out << line << '\n' << std::flush; };
    sim::Bench bench(std::move(*config), options.directory, emit, options.traceIo);
    if (options.beforeRun) options.beforeRun(bench);
    RecordingView view(emit);
    Core core(bench, view);
    MainDialog dialog(core);
    dialog.OnInitDialog();

    for (const Action& action : *actions) {
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
                bench.Replug();
                break;
            case Action::Kind::Dump:
                if (!DumpFirmware(bench, action, error)) return stop(error);
                break;
        }
    }
    if (options.afterRun) options.afterRun(bench);
    return 0;
}

}  // namespace usbisp::script
