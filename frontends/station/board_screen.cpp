#include "station/board_screen.h"

#include <curses.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>

#include "tui/draw_util.h"

namespace usbisp::station {

namespace {

tui::Style StyleOf(Tone tone) {
    switch (tone) {
        case Tone::Title:
            return tui::Style::Title;
        case Tone::Busy:
            return tui::Style::Bar;
        case Tone::Good:
            return tui::Style::Information;
        case Tone::Bad:
            return tui::Style::Stop;
        case Tone::Dim:
            return tui::Style::Dim;
        case Tone::Normal:
            break;
    }
    return tui::Style::Normal;
}

}  // namespace

bool BoardScreen::Open(std::string& error) {
    if (!terminal_.Open(error)) return false;
    tui::InitStyles();
    return true;
}

void BoardScreen::Draw(const Board& board, bool verifyOnly, const std::string& note,
                       const WarningList* warnings) {
    const int cols = terminal_.Cols();
    const int rows = terminal_.Rows();
    erase();
    BoardFrame frame;
    frame.verifyOnly = verifyOnly;
    frame.width = cols;
    frame.height = std::max(rows - 1, 1);  // the note has the last line
    const Board shown = memory_.Keep(board, frame.left);
    if (warnings) frame.warnings = warnings->Newest(kBoardWarnings, frame.earlierWarnings);
    const std::vector<BoardLine> lines = BoardLines(shown, frame);
    int y = 0;
    for (const BoardLine& line : lines) {
        if (y >= frame.height) break;
        tui::PutText(0, y++, line.text, cols, StyleOf(line.tone));
    }
    tui::PutText(0, rows - 1, note, cols, tui::Style::Dim);
    refresh();
}

bool BoardScreen::WaitForStop(int milliseconds) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (::poll(&input, 1, milliseconds) <= 0) return false;
    for (tui::Input key = terminal_.Poll(); key.key != tui::Key::None; key = terminal_.Poll()) {
        if (key.key == tui::Key::Escape) return true;
        if (key.key == tui::Key::Char && (key.ch == 'q' || key.ch == 'Q')) return true;
    }
    return false;
}

}  // namespace usbisp::station
