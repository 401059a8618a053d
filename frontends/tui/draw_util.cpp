#include "tui/draw_util.h"

#include <curses.h>

#include <algorithm>

namespace usbisp::tui {

namespace {

constexpr short kPairStop = 1;
constexpr short kPairInformation = 2;
constexpr short kPairBar = 3;

}  // namespace

void InitStyles() {
    if (!has_colors()) return;
    init_pair(kPairStop, COLOR_RED, -1);
    init_pair(kPairInformation, COLOR_CYAN, -1);
    init_pair(kPairBar, COLOR_GREEN, -1);
}

int StyleAttr(Style style) {
    const bool colors = has_colors();
    switch (style) {
        case Style::Title:
            return A_BOLD;
        case Style::Focus:
            return A_REVERSE | A_BOLD;
        case Style::Field:
            return A_UNDERLINE;
        case Style::Stop:
            return A_BOLD | (colors ? COLOR_PAIR(kPairStop) : 0);
        case Style::Information:
            return A_BOLD | (colors ? COLOR_PAIR(kPairInformation) : 0);
        case Style::Bar:
            return A_BOLD | (colors ? COLOR_PAIR(kPairBar) : 0);
        case Style::Dim:
            return A_DIM;
        case Style::Normal:
            break;
    }
    return A_NORMAL;
}

void ClearRect(const Rect& r, Style style) {
    for (int y = r.y; y < r.Bottom(); ++y) PutText(r.x, y, "", r.w, style);
}

void DrawFrame(const Rect& r, const std::string& title, Style style) {
    if (r.w < 2 || r.h < 2) return;
    const int attr = StyleAttr(style);
    attron(attr);
    mvhline(r.y, r.x + 1, ACS_HLINE, r.w - 2);
    mvhline(r.Bottom() - 1, r.x + 1, ACS_HLINE, r.w - 2);
    mvvline(r.y + 1, r.x, ACS_VLINE, r.h - 2);
    mvvline(r.y + 1, r.Right() - 1, ACS_VLINE, r.h - 2);
    mvaddch(r.y, r.x, ACS_ULCORNER);
    mvaddch(r.y, r.Right() - 1, ACS_URCORNER);
    mvaddch(r.Bottom() - 1, r.x, ACS_LLCORNER);
    mvaddch(r.Bottom() - 1, r.Right() - 1, ACS_LRCORNER);
    attroff(attr);
    if (!title.empty() && r.w > 4) {
        const std::string shown = title.substr(0, static_cast<std::size_t>(r.w - 4));
        PutText(r.x + 2, r.y, shown, static_cast<int>(shown.size()),
                style == Style::Normal ? Style::Title : style);
    }
}

void PutText(int x, int y, const std::string& text, int width, Style style) {
    if (width <= 0) return;
    std::string cell = text.substr(0, static_cast<std::size_t>(width));
    cell.resize(static_cast<std::size_t>(width), ' ');
    // Only bytes the terminal shows as one cell reach it.
    for (char& c : cell)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
    const int attr = StyleAttr(style);
    attron(attr);
    mvaddnstr(y, x, cell.c_str(), width);
    attroff(attr);
}

void PutRight(int x, int y, const std::string& text, int width, Style style) {
    if (width <= 0) return;
    const std::string shown = text.size() > static_cast<std::size_t>(width)
                                  ? text.substr(text.size() - static_cast<std::size_t>(width))
                                  : text;
    const int pad = width - static_cast<int>(shown.size());
    PutText(x + pad, y, shown, width - pad, style);
}

}  // namespace usbisp::tui
