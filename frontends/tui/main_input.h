// What the operator's input means in the main window. Moving the focus,
// opening a list or scrolling the report happens in the model at once;
// what the system must handle comes back as an intent for the command map.
#pragma once

#include "tui/input.h"
#include "tui/layout.h"
#include "tui/main_model.h"

namespace usbisp::tui {

struct Intent {
    enum class Kind {
        None,              // nothing for the system (the model may have changed)
        Click,             // a button or check box (already flipped) was clicked
        SelectionChanged,  // the operator chose an entry of a list
        Cancel,            // Escape: the framework's cancel path
        Replug,            // the bench's readers are unplugged and plugged in again
    };
    Kind kind = Kind::None;
    int id = 0;
};

Intent HandleMainInput(MainModel& model, const MainLayout& layout, const Input& input);

}  // namespace usbisp::tui
