#include "tui/terminal.h"

#include <curses.h>
#include <term.h>
#include <termios.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace usbisp::tui {

namespace {

// The fatal signals after which the terminal must still be given back.
constexpr int kFatalSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGSEGV,
                                 SIGBUS, SIGFPE,  SIGILL, SIGABRT};

// What a signal handler needs to give the terminal back. A handler reaches
// nothing but process-wide data, so this one record is process-wide: it is
// filled when the window opens and emptied when it closes, and the handler
// only uses async-signal-safe calls on it (write, tcsetattr).
struct RestoreRecord {
    volatile std::sig_atomic_t armed = 0;
    termios saved{};
    char sequence[512] = {};
    std::size_t length = 0;
    struct sigaction previous[std::size(kFatalSignals)] = {};
};
RestoreRecord gRestore;

extern "C" void RestoreAndReraise(int signal) {
    if (gRestore.armed) {
        gRestore.armed = 0;
        ssize_t written = ::write(STDOUT_FILENO, gRestore.sequence, gRestore.length);
        (void)written;
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &gRestore.saved);
    }
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    ::sigaction(signal, &byDefault, nullptr);
    ::raise(signal);
}

void AppendCapability(const char* name) {
    char* value = tigetstr(const_cast<char*>(name));
    if (value == nullptr || value == reinterpret_cast<char*>(-1)) return;
    const std::size_t n = std::strlen(value);
    if (gRestore.length + n >= sizeof gRestore.sequence) return;
    std::memcpy(gRestore.sequence + gRestore.length, value, n);
    gRestore.length += n;
}

// The bytes that undo what curses did to the screen: mouse reporting off,
// keypad mode off, attributes off, cursor on, back from the alternate screen.
void CaptureRestoreSequence() {
    gRestore.length = 0;
    const char* mouseOff = "\033[?1006l\033[?1002l\033[?1000l";
    char* mouse = tigetstr(const_cast<char*>("kmous"));
    if (mouse != nullptr && mouse != reinterpret_cast<char*>(-1)) {
        std::memcpy(gRestore.sequence, mouseOff, std::strlen(mouseOff));
        gRestore.length = std::strlen(mouseOff);
    }
    AppendCapability("rmkx");
    AppendCapability("sgr0");
    AppendCapability("cnorm");
    AppendCapability("rmcup");
}

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = RestoreAndReraise;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kFatalSignals); ++i)
        ::sigaction(kFatalSignals[i], &action, &gRestore.previous[i]);
}

void RemoveSignalHandlers() {
    for (std::size_t i = 0; i < std::size(kFatalSignals); ++i)
        ::sigaction(kFatalSignals[i], &gRestore.previous[i], nullptr);
}

Input KeyInput(Key key) {
    Input in;
    in.key = key;
    return in;
}

Input MouseInput() {
    MEVENT event{};
    Input in = KeyInput(Key::Mouse);
    if (getmouse(&event) != OK) {
        in.key = Key::None;
        return in;
    }
    in.x = event.x;
    in.y = event.y;
    if (event.bstate & (BUTTON1_PRESSED | BUTTON1_CLICKED)) {
        in.button = MouseButton::Left;
    } else if (event.bstate & BUTTON4_PRESSED) {
        in.button = MouseButton::WheelUp;
#ifdef BUTTON5_PRESSED
    } else if (event.bstate & BUTTON5_PRESSED) {
        in.button = MouseButton::WheelDown;
#endif
    }
    return in;
}

Input Translate(int code) {
    switch (code) {
        case ERR:
            return KeyInput(Key::None);
        case KEY_RESIZE:
            return KeyInput(Key::Resize);
        case KEY_MOUSE:
            return MouseInput();
        case '\t':
            return KeyInput(Key::Tab);
        case KEY_BTAB:
            return KeyInput(Key::BackTab);
        case KEY_UP:
            return KeyInput(Key::Up);
        case KEY_DOWN:
            return KeyInput(Key::Down);
        case KEY_LEFT:
            return KeyInput(Key::Left);
        case KEY_RIGHT:
            return KeyInput(Key::Right);
        case KEY_PPAGE:
            return KeyInput(Key::PageUp);
        case KEY_NPAGE:
            return KeyInput(Key::PageDown);
        case KEY_HOME:
            return KeyInput(Key::Home);
        case KEY_END:
            return KeyInput(Key::End);
        case '\n':
        case '\r':
        case KEY_ENTER:
            return KeyInput(Key::Enter);
        case ' ':
            return KeyInput(Key::Space);
        case 27:
            return KeyInput(Key::Escape);
        case 12:
            return KeyInput(Key::Redraw);  // Ctrl-L
        default:
            break;
    }
    if (code == KEY_F(5)) return KeyInput(Key::Replug);
    if (code > 32 && code < 127) {
        Input in = KeyInput(Key::Char);
        in.ch = static_cast<char>(code);
        return in;
    }
    return KeyInput(Key::None);
}

}  // namespace

bool Terminal::Open(std::string& error) {
    if (!::isatty(STDIN_FILENO) || !::isatty(STDOUT_FILENO)) {
        error = "the window needs a terminal; use --script for a headless run";
        return false;
    }
    const char* type = std::getenv("TERM");
    if (type == nullptr || *type == '\0') {
        error = "TERM is not set; the window needs to know the terminal";
        return false;
    }
    if (::tcgetattr(STDIN_FILENO, &gRestore.saved) != 0) {
        error = "cannot read the terminal's settings";
        return false;
    }
    // The character set of the terminal decides how curses draws lines; the
    // rest of the program keeps the "C" conventions.
    std::setlocale(LC_CTYPE, "");
    // Ours go in first, so that curses leaves the fatal signals to them.
    InstallSignalHandlers();
    if (newterm(nullptr, stdout, stdin) == nullptr) {
        RemoveSignalHandlers();
        error = std::string("cannot use the terminal \"") + type + "\"";
        return false;
    }
    open_ = true;
    CaptureRestoreSequence();
    gRestore.armed = 1;

    cbreak();  // Ctrl-C stays a signal, also while a command runs
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    set_escdelay(25);
    curs_set(0);
    mousemask(BUTTON1_PRESSED | BUTTON1_CLICKED | BUTTON4_PRESSED
#ifdef BUTTON5_PRESSED
                  | BUTTON5_PRESSED
#endif
              ,
              nullptr);
    mouseinterval(0);
    if (has_colors()) {
        start_color();
        use_default_colors();
    }
    return true;
}

void Terminal::Close() {
    if (!open_) return;
    open_ = false;
    gRestore.armed = 0;
    mousemask(0, nullptr);
    endwin();
    RemoveSignalHandlers();
}

Terminal::~Terminal() {
    Close();
}

int Terminal::Cols() const {
    return COLS;
}
int Terminal::Rows() const {
    return LINES;
}

Input Terminal::Read() {
    timeout(-1);
    while (true) {
        const int code = getch();
        // Input has gone for good (the terminal closed): take the cancel path.
        if (code == ERR) return KeyInput(Key::Escape);
        const Input in = Translate(code);
        if (in.key != Key::None) return in;
    }
}

Input Terminal::Poll() {
    timeout(0);
    const Input in = Translate(getch());
    timeout(-1);
    return in;
}

}  // namespace usbisp::tui
