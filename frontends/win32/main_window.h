// The Windows application: common controls, the main window run modally from
// dialog template 102 with its command map to MainDialog, and the end of the
// process when it closes.
#pragma once

#include "platform/platform.h"
#include "win32/windows_api.h"

namespace usbisp::win32 {

// Runs the main window over `platform` until it ends; returns the exit code.
int RunApplication(HINSTANCE instance, Platform& platform);

}  // namespace usbisp::win32
