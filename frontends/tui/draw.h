// Drawing the whole picture: the main window, the status windows that are
// shown, a message box on top, and the key help line.
#pragma once

#include <string>
#include <vector>

#include "tui/layout.h"
#include "tui/main_model.h"
#include "tui/windows_model.h"

namespace usbisp::tui {

struct Scene {
    const MainModel* main = nullptr;
    bool mainVisible = false;                             // after its initialisation
    std::vector<const StatusWindowState*> statusWindows;  // in creation order
    const MessageBoxState* box = nullptr;
    bool busy = false;  // a command runs: the window takes no input
    std::string note;   // shown in the help line instead of the keys
};

// The help line's texts.
inline constexpr const char* kHelpKeys =
    " F5 replug readers | Tab/Shift-Tab move | Enter/Space press | Esc cancel | Ctrl-C quit";
inline constexpr const char* kHelpBusy =
    " Working... the window takes input again when the command ends";
inline constexpr const char* kHelpBox = " Enter/Space/Esc: OK | Up/Down/PgUp/PgDn scroll the text";

// Draws the scene on a screen of cols x rows and shows it at once.
void DrawScene(const Scene& scene, int cols, int rows);

// Parts, for DrawScene.
void DrawMainWindow(const MainModel& model, const MainLayout& layout);
void DrawStatusWindow(const StatusWindowState& status, const MainLayout& layout);
void DrawMessageBox(const MessageBoxState& box, const Rect& screen);
void DrawTooSmall(int cols, int rows);

}  // namespace usbisp::tui
