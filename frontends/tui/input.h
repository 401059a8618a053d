// One piece of operator input, as the front end's logic sees it: a key, a
// mouse event or a change of the terminal's size. The terminal layer makes
// these from curses' codes, so that the logic above can be tested without one.
#pragma once

namespace usbisp::tui {

enum class Key {
    None,
    Tab,
    BackTab,
    Up,
    Down,
    Left,
    Right,
    PageUp,
    PageDown,
    Home,
    End,
    Enter,
    Space,
    Escape,
    Replug,  // F5
    Redraw,  // Ctrl-L
    Resize,
    Mouse,
    Char,  // any other printable key
};

enum class MouseButton { Left, WheelUp, WheelDown, Other };

struct Input {
    Key key = Key::None;
    int x = 0;  // Mouse: the cell
    int y = 0;
    MouseButton button = MouseButton::Other;
    char ch = 0;  // Char
};

}  // namespace usbisp::tui
