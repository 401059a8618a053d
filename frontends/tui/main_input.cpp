#include "tui/main_input.h"

#include <algorithm>

#include "tui/text_view.h"
#include "view/views.h"

namespace usbisp::tui {

namespace {

constexpr int kWheelLines = 3;

Intent Click(int id) {
    return {Intent::Kind::Click, id};
}

void ScrollReport(MainModel& model, const MainLayout& layout, int delta) {
    const Rect& area = layout.reportText;
    const int count = static_cast<int>(WrapText(model.Text(ctl::kReport), area.w).size());
    const int top = ClampTop(model.reportTop(), count, area.h);
    model.SetReportTop(ClampTop(top + delta, count, area.h));
}

// Enter, Space or a click on a control.
Intent Activate(MainModel& model, int id) {
    if (IsList(id)) {
        model.OpenList(id);
        return {};
    }
    if (IsCheckBox(id)) {
        model.FlipCheck(id);
        return Click(id);
    }
    if (IsButton(id)) return Click(id);
    return {};
}

Intent ChooseHighlighted(MainModel& model) {
    const int id = model.openList();
    model.CloseList();
    if (!model.List(id).Select(model.highlight())) return {};
    return {Intent::Kind::SelectionChanged, id};
}

Intent HandleOpenList(MainModel& model, const MainLayout& layout, const Input& in) {
    const int page = 5;
    switch (in.key) {
        case Key::Up:
            model.MoveHighlight(-1);
            return {};
        case Key::Down:
            model.MoveHighlight(1);
            return {};
        case Key::PageUp:
            model.MoveHighlight(-page);
            return {};
        case Key::PageDown:
            model.MoveHighlight(page);
            return {};
        case Key::Home:
            model.MoveHighlight(-(1 << 20));
            return {};
        case Key::End:
            model.MoveHighlight(1 << 20);
            return {};
        case Key::Enter:
        case Key::Space:
            return ChooseHighlighted(model);
        case Key::Escape:
            model.CloseList();
            return {};
        case Key::Tab:
        case Key::BackTab:
            model.CloseList();
            model.MoveFocus(in.key == Key::Tab ? 1 : -1);
            return {};
        case Key::Mouse: {
            const int id = model.openList();
            const int count = static_cast<int>(model.List(id).entries().size());
            const Rect drop = DropDownRect(layout.ControlRect(id), count, layout.screen);
            const Rect inside{drop.x + 1, drop.y + 1, drop.w - 2, drop.h - 2};
            if (in.button == MouseButton::Left && inside.Contains(in.x, in.y)) {
                const int index =
                    FirstShownEntry(model.highlight(), count, inside.h) + in.y - inside.y;
                if (index >= count) return {};
                model.MoveHighlight(index - model.highlight());
                return ChooseHighlighted(model);
            }
            // Any other click closes the list and does nothing else.
            if (in.button == MouseButton::Left) model.CloseList();
            return {};
        }
        case Key::Replug:
            return {Intent::Kind::Replug, 0};
        default:
            return {};
    }
}

Intent HandleMouse(MainModel& model, const MainLayout& layout, const Input& in) {
    if (in.button == MouseButton::WheelUp || in.button == MouseButton::WheelDown) {
        if (layout.report.Contains(in.x, in.y))
            ScrollReport(model, layout,
                         in.button == MouseButton::WheelUp ? -kWheelLines : kWheelLines);
        return {};
    }
    if (in.button != MouseButton::Left) return {};
    const int id = layout.HitTest(in.x, in.y);
    if (id == 0) return {};
    model.SetFocus(id);
    if (id == ctl::kReport) {
        // The scroll bar: the upper half pages up, the lower half down.
        const Rect& bar = layout.reportBar;
        if (bar.Contains(in.x, in.y))
            ScrollReport(model, layout, in.y < bar.y + bar.h / 2 ? -bar.h : bar.h);
        return {};
    }
    return Activate(model, id);
}

}  // namespace

Intent HandleMainInput(MainModel& model, const MainLayout& layout, const Input& in) {
    if (!layout.fits) return {};
    if (model.openList() != 0) return HandleOpenList(model, layout, in);
    const bool inReport = model.focus() == ctl::kReport;
    const int page = std::max(layout.reportText.h - 1, 1);
    switch (in.key) {
        case Key::Tab:
            model.MoveFocus(1);
            return {};
        case Key::BackTab:
            model.MoveFocus(-1);
            return {};
        case Key::Up:
            if (inReport)
                ScrollReport(model, layout, -1);
            else
                model.MoveFocus(-1);
            return {};
        case Key::Down:
            if (inReport)
                ScrollReport(model, layout, 1);
            else
                model.MoveFocus(1);
            return {};
        case Key::Left:
            model.MoveFocus(-1);
            return {};
        case Key::Right:
            model.MoveFocus(1);
            return {};
        case Key::PageUp:
            ScrollReport(model, layout, -page);
            return {};
        case Key::PageDown:
            ScrollReport(model, layout, page);
            return {};
        case Key::Home:
            model.SetReportTop(0);
            return {};
        case Key::End:
            model.SetReportTop(MainModel::kReportEnd);
            return {};
        case Key::Enter:
        case Key::Space:
            return Activate(model, model.focus());
        case Key::Escape:
            return {Intent::Kind::Cancel, 0};
        case Key::Replug:
            return {Intent::Kind::Replug, 0};
        case Key::Mouse:
            return HandleMouse(model, layout, in);
        default:
            return {};
    }
}

}  // namespace usbisp::tui
