// Small drawing helpers over curses for the windows of the terminal front end.
#pragma once

#include <string>

#include "tui/layout.h"

namespace usbisp::tui {

enum class Style { Normal, Title, Focus, Field, Stop, Information, Bar, Dim };

// Sets up the colours, where the terminal has them.
void InitStyles();

// The curses attribute of a style.
int StyleAttr(Style style);

// Blanks the rectangle.
void ClearRect(const Rect& r, Style style = Style::Normal);
// A line frame around `r` with `title` in its top edge.
void DrawFrame(const Rect& r, const std::string& title, Style style = Style::Normal);
// `text` at (x, y), cut to `width` cells and padded to it with blanks.
void PutText(int x, int y, const std::string& text, int width, Style style = Style::Normal);
// `text` right-aligned in the `width` cells from (x, y), cut to them; the
// cells left of it keep what they show.
void PutRight(int x, int y, const std::string& text, int width, Style style = Style::Normal);

}  // namespace usbisp::tui
