// Text as the terminal shows it: a control's text split into screen lines,
// and the scrolling of a text area over those lines.
#pragma once

#include <string>
#include <vector>

namespace usbisp::tui {

// The lines of `text` in an area `width` cells wide. "\n" (or "\r\n") breaks
// a line; a line too long for the area wraps after its last blank that fits,
// or at the width when it has none; a tab advances to the next multiple of 8;
// any other byte the terminal cannot show as one cell shows as '?'. An empty
// text has no lines.
std::vector<std::string> WrapText(const std::string& text, int width);

// The first line shown when `height` lines of `lineCount` are visible and the
// operator asked for `top`: kept between 0 and the last full page.
int ClampTop(int top, int lineCount, int height);
// The first line that shows the end of the text.
int EndTop(int lineCount, int height);

// A scroll bar's thumb on a track of `track` cells.
struct Thumb {
    int offset = 0;
    int size = 0;
};
Thumb ScrollThumb(int top, int lineCount, int height, int track);

}  // namespace usbisp::tui
