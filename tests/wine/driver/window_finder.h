// Finding the windows of the program under test: its main window, the message
// boxes it shows, and the controls in them.
#pragma once

#include <string>

#include "win32/windows_api.h"

namespace wine_driver {

// The main window's title and the status windows' title: the message boxes are
// the program's other dialogs.
inline constexpr const char* kMainTitle = "[ NOVU ] USB Device upgrade F/W  AP  Version 3.08";
inline constexpr const char* kStatusTitle = "PROCESS STATUS DIALOG";

std::string WindowText(HWND window);
// The program's windows by their titles, which these read without asking the
// program: they find the windows also while a command runs.
// The program's main window, null while it does not exist.
HWND FindMainWindow(DWORD processId);
// A message box of the program, null when none is open.
HWND FindMessageBox(DWORD processId);
// The status window of a running command, null while none shows. It asks the
// program nothing, so it works also while the program does not answer.
HWND FindStatusWindow(DWORD processId);
// A child control by its id, or the button with this caption.
HWND FindButton(HWND dialog, const std::string& caption);
// The message box's text, and whether it shows an icon.
std::string MessageBoxText(HWND box);
bool MessageBoxHasIcon(HWND box);

}  // namespace wine_driver
