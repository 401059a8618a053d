// What the status windows and message boxes hold while the terminal shows them.
#pragma once

#include <string>

#include "view/views.h"

namespace usbisp::tui {

// One status window ("PROCESS STATUS DIALOG"): created hidden with the texts
// of its template and the bar at 0 of the progress control's default range.
struct StatusWindowState {
    std::string caption = "Static";
    std::string text = "TEXT";
    int lower = 0;
    int upper = 100;
    int position = 0;
    bool visible = false;
};

// The cells of a bar `width` cells wide that are filled at `position`.
int FilledCells(int position, int lower, int upper, int width);

// A modal message box and how far its text is scrolled.
struct MessageBoxState {
    std::string caption;
    std::string text;
    BoxIcon icon = BoxIcon::None;
    int top = 0;
};

}  // namespace usbisp::tui
