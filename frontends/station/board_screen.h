// The board drawn in the terminal, and the operator's one key: q (or Escape)
// to stop taking readers and end once the runs under way are over.
#pragma once

#include <string>

#include "station/board.h"
#include "tui/terminal.h"

namespace usbisp::station {

class BoardScreen {
  public:
    // Takes over the terminal; false with `error` when there is none.
    bool Open(std::string& error);
    void Close() { terminal_.Close(); }

    // `note`: the last line (what the keys do now); `warnings`: what the
    // Linux layer said, if anything may.
    void Draw(const Board& board, bool verifyOnly, const std::string& note,
              const WarningList* warnings = nullptr);
    // Waits up to `milliseconds` for input; true when the operator asked to
    // stop.
    bool WaitForStop(int milliseconds);

  private:
    tui::Terminal terminal_;
    BoardMemory memory_;
};

}  // namespace usbisp::station
