// The status window and the message boxes, drawn over the main window.
#include <curses.h>

#include <algorithm>

#include "platform/printf_text.h"
#include "tui/draw.h"
#include "tui/draw_util.h"
#include "tui/text_view.h"

namespace usbisp::tui {

namespace {

constexpr const char* kStatusTitle = " PROCESS STATUS DIALOG ";

}  // namespace

void DrawStatusWindow(const StatusWindowState& status, const MainLayout& layout) {
    const StatusLayout s = ComputeStatusLayout(layout.window);
    ClearRect(s.frame);
    DrawFrame(s.frame, kStatusTitle, Style::Title);

    // The newest lines are what the operator watches: the area shows the end
    // of the running text.
    const std::vector<std::string> lines = WrapText(status.text, s.text.w);
    const int count = static_cast<int>(lines.size());
    const int top = EndTop(count, s.text.h);
    for (int i = 0; i < s.text.h; ++i) {
        const int n = top + i;
        PutText(s.text.x, s.text.y + i, n < count ? lines[static_cast<std::size_t>(n)] : "",
                s.text.w);
    }

    PutRight(s.caption.x, s.caption.y, status.caption, s.caption.w, Style::Title);
    const int inner = s.bar.w - 2;
    const int filled = FilledCells(status.position, status.lower, status.upper, inner);
    PutText(s.bar.x, s.bar.y, "[", 1);
    PutText(s.bar.x + 1, s.bar.y, std::string(static_cast<std::size_t>(std::max(filled, 0)), '#'),
            filled, Style::Bar);
    PutText(s.bar.x + 1 + filled, s.bar.y,
            std::string(static_cast<std::size_t>(inner - filled), '.'), inner - filled, Style::Dim);
    PutText(s.bar.Right() - 1, s.bar.y, "]", 1);
}

void DrawMessageBox(const MessageBoxState& box, const Rect& screen) {
    const BoxLayout b = ComputeBoxLayout(screen, box.caption, box.text, box.icon != BoxIcon::None);
    ClearRect(b.frame);
    DrawFrame(b.frame, " " + box.caption + " ", Style::Title);
    if (box.icon == BoxIcon::Stop) PutText(b.icon.x, b.icon.y, "(X)", 3, Style::Stop);
    if (box.icon == BoxIcon::Information) PutText(b.icon.x, b.icon.y, "(i)", 3, Style::Information);

    const int count = static_cast<int>(b.lines.size());
    const int top = ClampTop(box.top, count, b.text.h);
    for (int i = 0; i < b.text.h; ++i) {
        const int n = top + i;
        PutText(b.text.x, b.text.y + i, n < count ? b.lines[static_cast<std::size_t>(n)] : "",
                b.text.w);
    }
    if (count > b.text.h) {
        const std::string where =
            Printf(" %d-%d/%d PgDn ", top + 1, std::min(top + b.text.h, count), count);
        PutRight(b.frame.x + 2, b.frame.Bottom() - 1, where, b.frame.w - 4, Style::Title);
    }
    PutText(b.ok.x, b.ok.y, "[  OK  ]", b.ok.w, Style::Focus);
}

}  // namespace usbisp::tui
