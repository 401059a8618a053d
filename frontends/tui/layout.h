// Where everything goes on the screen: the main window's controls, the status
// window and message boxes. Pure arithmetic on the terminal's size, so that
// every front-end decision about placement can be tested without a terminal.
#pragma once

#include <string>
#include <vector>

namespace usbisp::tui {

struct Rect {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;

    int Right() const { return x + w; }   // one past the last column
    int Bottom() const { return y + h; }  // one past the last row
    bool Contains(int px, int py) const {
        return px >= x && px < Right() && py >= y && py < Bottom();
    }
    bool Overlaps(const Rect& o) const {
        return x < o.Right() && o.x < Right() && y < o.Bottom() && o.y < Bottom();
    }
};

// Smallest terminal the main window fits in: every control with its caption,
// and a report field of at least four lines.
inline constexpr int kMinCols = 64;
inline constexpr int kMinRows = 17;

struct MainLayout {
    bool fits = false;
    Rect screen;
    Rect window;  // the frame with the title
    Rect deviceLabel, deviceList, nameLabel, nameField;
    Rect driverLabel, driverList, selfDriverSel;
    Rect manufacture;  // group frame
    Rect ispEna, ispMsFw, win9xIsp, win9xVer;
    Rect report;       // with its border
    Rect reportText;   // the lines inside, left of the scroll bar
    Rect reportBar;    // the scroll bar
    Rect bottomGroup;  // group frame "Static"
    Rect getInfo, userIspInfo, close;
    Rect help;  // the key help line under the window

    // The rectangle of the control with this id (an empty one for none).
    Rect ControlRect(int id) const;
    // The id of the control at this cell, 0 when there is none.
    int HitTest(int px, int py) const;
};

MainLayout ComputeMainLayout(int cols, int rows);

// A drop-down list opened under its control: `entries` lines inside a border,
// as many as fit above the bottom of the screen (at least one line).
Rect DropDownRect(const Rect& list, int entries, const Rect& screen);

// A box of w x h centred in `area` and cut to it.
Rect CenterIn(const Rect& area, int w, int h);

struct StatusLayout {
    Rect frame;
    Rect text;     // the running text of the flow
    Rect caption;  // one line, right-aligned, bottom left
    Rect bar;      // bottom right
};

// The status window over the main window: about four fifths of its width and
// two thirds of its height, centred.
StatusLayout ComputeStatusLayout(const Rect& window);

struct BoxLayout {
    Rect frame;
    Rect icon;  // empty without an icon
    Rect text;
    Rect ok;
    std::vector<std::string> lines;  // the text, wrapped to text.w
};

// A message box for `text` centred on the screen: as wide as its longest line
// (within the screen), as tall as its lines (the rest scrolls).
BoxLayout ComputeBoxLayout(const Rect& screen, const std::string& caption, const std::string& text,
                           bool withIcon);

}  // namespace usbisp::tui
