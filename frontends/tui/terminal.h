// The terminal under curses: taking it over, reading input, and giving it
// back in the state it was found in, on every way out of the program (a
// normal end, Ctrl-C, a termination request or a crash).
#pragma once

#include <string>

#include "tui/input.h"

namespace usbisp::tui {

class Terminal {
  public:
    Terminal() = default;
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // Takes over the terminal on standard input and output; false with a
    // one-line `error` when there is none to take.
    bool Open(std::string& error);
    // Gives the terminal back; also done by the destructor.
    void Close();

    // The screen's size now.
    int Cols() const;
    int Rows() const;

    // Waits for the next key, mouse event or change of size.
    Input Read();
    // The next pending input without waiting; Key::None when there is none.
    Input Poll();

  private:
    bool open_ = false;
};

}  // namespace usbisp::tui
