#include "tui/box_input.h"

#include <algorithm>

#include "tui/text_view.h"

namespace usbisp::tui {

bool HandleBoxInput(MessageBoxState& box, const Rect& screen, bool fits, const Input& in) {
    if (!fits) return false;
    const BoxLayout b = ComputeBoxLayout(screen, box.caption, box.text, box.icon != BoxIcon::None);
    const int count = static_cast<int>(b.lines.size());
    auto scroll = [&](int delta) {
        box.top = ClampTop(ClampTop(box.top, count, b.text.h) + delta, count, b.text.h);
    };
    const int page = std::max(b.text.h - 1, 1);
    switch (in.key) {
        case Key::Enter:
        case Key::Space:
        case Key::Escape:
            return true;
        case Key::Char:
            return in.ch == 'o' || in.ch == 'O';
        case Key::Up:
            scroll(-1);
            return false;
        case Key::Down:
            scroll(1);
            return false;
        case Key::PageUp:
            scroll(-page);
            return false;
        case Key::PageDown:
            scroll(page);
            return false;
        case Key::Home:
            box.top = 0;
            return false;
        case Key::End:
            box.top = EndTop(count, b.text.h);
            return false;
        case Key::Mouse:
            if (in.button == MouseButton::WheelUp) scroll(-3);
            if (in.button == MouseButton::WheelDown) scroll(3);
            return in.button == MouseButton::Left && b.ok.Contains(in.x, in.y);
        default:
            return false;
    }
}

}  // namespace usbisp::tui
