// WineDriver.exe SCRIPT: starts the program under test and works its windows
// the way an operator does, one action per line of SCRIPT, printing what it
// sees on standard output, one event per line (texts quoted as in the bench
// transcripts, line breaks as "\n"):
//
//   version EXE WINVER   the Windows version Wine reports to EXE (win98, winxp, ...)
//   start EXE [ARGS]     start EXE (with ARGS) in the current directory and wait for its window;
//                        a script may start several programs: the actions below work the one
//                        started last, #1 the first
//   use N                work program #N from now on
//   kill                 end the program worked at once, as a crash or the task manager does
//   click CAPTION        press the button or check box with that caption
//   select ID TEXT       choose the entry TEXT in drop-down list ID
//   cancel               close the main window with its close box
//   title                print: title "<main window title>"
//   field ID             print: field ID "<text of control ID>"
//   tail ID N            print: tail ID "<last N lines of control ID>"
//   list ID              print: list ID "<entry>" ... selected "<entry>"
//   check ID             print: check ID 0|1
//   lines ID PREFIX      print: line ID "<line>", for each line of control ID that begins with
//   PREFIX file NAME            print: file NAME "<the file's text>", or file NAME missing shot ask
//   the test script for a screenshot (SHOT.REQ, then wait for SHOT.DONE) exit                 wait
//   for the program to end; print: exit <code> trace NAME...        report the program's calls of
//   these functions (before start) calls                print: call NAME ARGS, for each call
//   traced, in order (after exit)
//
// While a command runs (these do not wait for the program to be idle):
//   press CAPTION        press the button or check box with that caption
//   status               wait for the status window; print: status top <id of its top child>
//   answers              print: answers yes|no, whether the status window answers within 2 s
//   queue click|space ID queue a click on control ID, or Space pressed and released on it,
//                        as input waiting for the program; the command must still run after
//   settle               wait until the program is idle again
//
// After every other action the driver waits until the program is idle again,
// answering every message box with OK and printing it as
// box icon|noicon "<caption>" "<text>".
//
// Whatever the driver prints names the processes of the programs it started
// as "process #N" (program_names.h).
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "busy_actions.h"
#include "platform/sim/transcript_text.h"
#include "program_names.h"
#include "relay_trace.h"
#include "win32/line_breaks.h"
#include "window_finder.h"

namespace wine_driver {
namespace {

using usbisp::sim::QuoteText;
using usbisp::win32::FromWindowsLineBreaks;

constexpr DWORD kSettleMs = 120000;

struct Program {
    PROCESS_INFORMATION process{};
    bool started = false;
    bool traced = false;  // its calls go to Wine's relay channel
};

// The programs started, in order; the actions work one of them.
struct Programs {
    std::vector<Program> all{Program{}};
    std::size_t worked = 0;
};

// The process ids of the programs started, in order.
std::vector<unsigned long> startedIds;

void Print(const std::string& line) {
    std::fputs((NameProcesses(line, startedIds) + "\n").c_str(), stdout);
    std::fflush(stdout);
}

bool Ended(const Program& program) {
    return ::WaitForSingleObject(program.process.hProcess, 0) == WAIT_OBJECT_0;
}

// Presses a button of another process's window without waiting for the
// command it starts (which may open a message box of its own).
void Press(HWND button) {
    ::SendNotifyMessageA(button, BM_CLICK, 0, 0);
}

void AnswerBox(HWND box) {
    Print(std::string("box ") + (MessageBoxHasIcon(box) ? "icon " : "noicon ") +
          QuoteText(WindowText(box)) + " " + QuoteText(FromWindowsLineBreaks(MessageBoxText(box))));
    Press(::GetDlgItem(box, IDOK));
    for (int i = 0; i < 400 && ::IsWindow(box); ++i) ::Sleep(25);
}

// Waits until the program waits for the operator with no message box open:
// its main window answers and stays without a box and without a status window
// for a while. A command keeps the window answering while it runs; the status
// window of a firmware command tells that it still runs.
bool Settle(const Program& program) {
    const DWORD start = ::GetTickCount();
    int quiet = 0;
    while (::GetTickCount() - start < kSettleMs) {
        if (Ended(program)) return true;
        if (HWND box = FindMessageBox(program.process.dwProcessId)) {
            AnswerBox(box);
            quiet = 0;
            continue;
        }
        HWND main = FindMainWindow(program.process.dwProcessId);
        DWORD_PTR result = 0;
        if (main && ::IsWindowVisible(main) &&
            ::SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, kSettleMs, &result) &&
            !FindMessageBox(program.process.dwProcessId) &&
            !FindStatusWindow(program.process.dwProcessId)) {
            if (++quiet >= 3) return true;
        } else {
            quiet = 0;
        }
        ::Sleep(100);
    }
    Print("error: the program did not become idle");
    return false;
}

HWND MainOrFail(const Program& program) {
    HWND main = program.started ? FindMainWindow(program.process.dwProcessId) : nullptr;
    if (!main) Print("error: no main window");
    return main;
}

bool SetVersion(const std::string& exe, const std::string& version) {
    const std::string key = "Software\\Wine\\AppDefaults\\" + exe;
    HKEY handle = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          &handle, nullptr) != ERROR_SUCCESS)
        return false;
    const bool ok = ::RegSetValueExA(handle, "Version", 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(version.c_str()),
                                     static_cast<DWORD>(version.size() + 1)) == ERROR_SUCCESS;
    ::RegCloseKey(handle);
    return ok;
}

bool Start(Program& program, const std::string& exe) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string commandLine = exe;
    // The program takes Wine's debug channels from the environment it is
    // given; the driver's own stay as they are.
    if (program.traced) ::SetEnvironmentVariableA("WINEDEBUG", kRelayDebug);
    const BOOL started = ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                          nullptr, nullptr, &startup, &program.process);
    if (program.traced) ::SetEnvironmentVariableA("WINEDEBUG", "-all");
    if (!started) {
        Print("error: cannot start " + exe);
        return false;
    }
    program.started = true;
    startedIds.push_back(program.process.dwProcessId);
    return Settle(program);
}

// Wine hands list entries to another process intact only through the
// wide-character messages; the program's entries are plain ASCII.
std::string ListText(HWND list, LRESULT index) {
    const LRESULT length = ::SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return {};
    std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1, L'\0');
    ::SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(index),
                   reinterpret_cast<LPARAM>(text.data()));
    return std::string(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
}

LRESULT FindEntry(HWND list, const std::string& entry) {
    const LRESULT count = ::SendMessageW(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i)
        if (ListText(list, i) == entry) return i;
    return CB_ERR;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) lines.push_back(line);
    if (!text.empty() && text.back() == '\n') lines.push_back("");
    return lines;
}

bool Run(Programs& programs, const std::string& command, std::istringstream& args) {
    if (command == "start" && programs.all[programs.worked].started) {
        programs.all.push_back(Program{});
        programs.worked = programs.all.size() - 1;
    }
    if (command == "use") {
        std::size_t number = 0;
        args >> number;
        if (number < 1 || number > programs.all.size() || !programs.all[number - 1].started) {
            Print("error: no program #" + std::to_string(number));
            return false;
        }
        programs.worked = number - 1;
        return true;
    }
    Program& program = programs.all[programs.worked];
    if (command == "kill") {
        if (!program.started || !::TerminateProcess(program.process.hProcess, 1)) return false;
        return ::WaitForSingleObject(program.process.hProcess, kSettleMs) == WAIT_OBJECT_0;
    }
    if (command == "file") {
        std::string name;
        args >> name;
        std::ifstream file(name, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        Print("file " + name + " " + (file ? QuoteText(text.str()) : std::string("missing")));
        return true;
    }
    if (command == "version") {
        std::string exe, version;
        args >> exe >> version;
        return SetVersion(exe, version);
    }
    if (command == "start") {
        // The program and its arguments: the rest of the line.
        std::string exe;
        std::getline(args >> std::ws, exe);
        return Start(program, exe);
    }
    if (command == "exit") {
        if (!program.started) return false;
        if (::WaitForSingleObject(program.process.hProcess, kSettleMs) != WAIT_OBJECT_0) {
            Print("error: the program did not end");
            return false;
        }
        DWORD code = 0;
        ::GetExitCodeProcess(program.process.hProcess, &code);
        Print("exit " + std::to_string(code));
        return true;
    }
    if (command == "trace") {
        std::vector<std::string> names;
        for (std::string name; args >> name;) names.push_back(name);
        program.traced = SetRelayFunctions(names);
        return program.traced;
    }
    if (command == "calls") {
        std::ifstream log(kWineLog, std::ios::binary);
        std::ostringstream text;
        text << log.rdbuf();
        for (const std::string& call : RelayedCalls(text.str())) Print(call);
        return true;
    }
    if (command == "shot") {
        std::ofstream("SHOT.REQ") << "main window\n";
        for (int i = 0; i < 600; ++i, ::Sleep(100))
            if (::GetFileAttributesA("SHOT.DONE") != INVALID_FILE_ATTRIBUTES) return true;
        Print("error: no screenshot was taken");
        return false;
    }
    HWND main = MainOrFail(program);
    if (!main) return false;
    int id = 0;
    if (command == "click") {
        std::string caption;
        std::getline(args >> std::ws, caption);
        HWND button = FindButton(main, caption);
        if (!button) {
            Print("error: no button " + QuoteText(caption));
            return false;
        }
        Press(button);
        return Settle(program);
    }
    if (command == "press") {
        std::string caption;
        std::getline(args >> std::ws, caption);
        HWND button = FindButton(main, caption);
        if (!button) {
            Print("error: no button " + QuoteText(caption));
            return false;
        }
        Press(button);
        return true;
    }
    if (command == "status" || command == "answers") {
        HWND status = WaitForStatusWindow(program.process.dwProcessId);
        if (!status) {
            Print("error: no status window showed");
            return false;
        }
        if (command == "status") {
            Print("status top " + std::to_string(TopChildId(status)));
        } else {
            Print(std::string("answers ") + (Answers(status) ? "yes" : "no"));
        }
        return true;
    }
    if (command == "queue") {
        std::string how;
        args >> how >> id;
        HWND control = ::GetDlgItem(main, id);
        if (!control || (how != "click" && how != "space")) {
            Print("error: cannot queue " + how + " on control " + std::to_string(id));
            return false;
        }
        how == "click" ? QueueClick(control) : QueueSpace(control);
        // Only input that waits while the command runs shows what the program
        // does with it.
        if (!FindStatusWindow(program.process.dwProcessId)) {
            Print("error: the command ended before the input was queued");
            return false;
        }
        return true;
    }
    if (command == "settle") return Settle(program);
    if (command == "select") {
        std::string text;
        args >> id;
        std::getline(args >> std::ws, text);
        HWND list = ::GetDlgItem(main, id);
        const LRESULT index = FindEntry(list, text);
        if (index == CB_ERR) {
            Print("error: no entry " + QuoteText(text) + " in list " + std::to_string(id));
            return false;
        }
        ::SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        ::SendNotifyMessageA(main, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                             reinterpret_cast<LPARAM>(list));
        return Settle(program);
    }
    if (command == "cancel") {
        ::SendNotifyMessageA(main, WM_CLOSE, 0, 0);
        return Settle(program);
    }
    if (command == "title") {
        Print("title " + QuoteText(WindowText(main)));
        return true;
    }
    if (command == "lines") {
        std::string prefix;
        args >> id;
        std::getline(args >> std::ws, prefix);
        for (const std::string& line :
             Lines(FromWindowsLineBreaks(WindowText(::GetDlgItem(main, id)))))
            if (line.compare(0, prefix.size(), prefix) == 0)
                Print("line " + std::to_string(id) + " " + QuoteText(line));
        return true;
    }
    if (command == "field" || command == "tail") {
        args >> id;
        std::string text = FromWindowsLineBreaks(WindowText(::GetDlgItem(main, id)));
        if (command == "tail") {
            std::size_t count = 0;
            args >> count;
            const auto lines = Lines(text);
            text.clear();
            for (std::size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size();
                 ++i)
                text += (text.empty() ? "" : "\n") + lines[i];
        }
        Print(command + " " + std::to_string(id) + " " + QuoteText(text));
        return true;
    }
    if (command == "list") {
        args >> id;
        HWND list = ::GetDlgItem(main, id);
        std::string line = "list " + std::to_string(id);
        const LRESULT count = ::SendMessageA(list, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) line += " " + QuoteText(ListText(list, i));
        const LRESULT selected = ::SendMessageA(list, CB_GETCURSEL, 0, 0);
        line += " selected " +
                (selected == CB_ERR ? std::string("none") : QuoteText(ListText(list, selected)));
        Print(line);
        return true;
    }
    if (command == "check") {
        args >> id;
        const LRESULT state = ::SendMessageA(::GetDlgItem(main, id), BM_GETCHECK, 0, 0);
        Print("check " + std::to_string(id) + " " + std::to_string(state));
        return true;
    }
    Print("error: unknown action " + command);
    return false;
}

}  // namespace

// The programs still running when the script ends, or fails.
void EndAll(const Programs& programs) {
    for (const Program& program : programs.all)
        if (program.started && !Ended(program)) ::TerminateProcess(program.process.hProcess, 3);
}

}  // namespace wine_driver

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: WineDriver SCRIPT\n", stderr);
        return 2;
    }
    std::ifstream script(argv[1]);
    if (!script) {
        std::fprintf(stderr, "WineDriver: cannot read %s\n", argv[1]);
        return 2;
    }
    wine_driver::Programs programs;
    std::string line;
    while (std::getline(script, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::istringstream args(line);
        std::string command;
        args >> command;
        if (!wine_driver::Run(programs, command, args)) {
            std::fprintf(stderr, "WineDriver: the action \"%s\" failed\n", line.c_str());
            wine_driver::EndAll(programs);
            return 1;
        }
    }
    wine_driver::EndAll(programs);
    return 0;
}
