// The interactive face of the native build: the main window and the status
// windows drawn in the terminal, over the bench.
#pragma once

#include <string>

namespace usbisp::tui {

// Runs the main window until it ends. `benchPath` empty: the built-in demo
// bench. Returns the exit status: 0 when the window ended, 2 when the bench
// is unusable or there is no terminal (one line on stderr).
int RunInteractive(const std::string& benchPath, const std::string& directory);

}  // namespace usbisp::tui
