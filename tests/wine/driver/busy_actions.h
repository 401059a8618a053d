// What the driver does while a command of the program runs: looking at its
// status window, asking whether it answers, and queueing input for it as an
// operator's clicks and keys are queued while the program is busy.
#pragma once

#include <string>

#include "win32/windows_api.h"

namespace wine_driver {

// Waits until a command's status window shows; null when none showed.
HWND WaitForStatusWindow(DWORD processId);
// The control id of the child window on top of `window`.
int TopChildId(HWND window);
// Whether the window answers a message within two seconds.
bool Answers(HWND window);
// Queues a left click in the middle of `control` (button down, button up), or
// the Space key pressed and released on it.
void QueueClick(HWND control);
void QueueSpace(HWND control);

}  // namespace wine_driver
