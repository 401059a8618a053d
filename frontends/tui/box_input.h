// What the operator's input means in a message box: OK closes it, the
// arrows and page keys scroll a text taller than the box.
#pragma once

#include "tui/input.h"
#include "tui/layout.h"
#include "tui/windows_model.h"

namespace usbisp::tui {

// True when the input closes the box. While the terminal is too small
// (`fits` false) the box is not shown and takes no input.
bool HandleBoxInput(MessageBoxState& box, const Rect& screen, bool fits, const Input& input);

}  // namespace usbisp::tui
