// The interactive face of the native build: the main window and the status
// windows drawn in the terminal, over the bench or over real card readers.
#pragma once

#include <string>
#include <vector>

#include "platform/linux/drive_map.h"

namespace usbisp::tui {

// Runs the main window until it ends. `benchPath` empty: the built-in demo
// bench. Returns the exit status: 0 when the window ended, 2 when the bench
// is unusable or there is no terminal (one line on stderr). `recordPath`
// not empty: the session is recorded there (--record); a bench that is a
// recording ends the window at a call it has no answer for.
int RunInteractive(const std::string& benchPath, const std::string& directory,
                   const std::string& recordPath = {});

// The same over the Linux layer (--real): `drives` empty takes the USB disks
// the system shows. What the layer has to say about a device goes to stderr,
// before the window opens or after it has closed.
int RunInteractiveReal(const std::vector<lnx::LinuxDrive>& drives, const std::string& directory,
                       const std::string& recordPath = {});

}  // namespace usbisp::tui
