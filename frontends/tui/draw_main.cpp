// The main window: title frame, the two lists with their labels, the name
// field, the check boxes, the buttons, the report field and an open list.
#include <curses.h>

#include "platform/printf_text.h"
#include "tui/draw.h"
#include "tui/draw_util.h"
#include "tui/text_view.h"
#include "ui/main_dialog.h"
#include "view/views.h"

namespace usbisp::tui {

namespace {

Style FocusStyle(const MainModel& model, int id) {
    return model.focus() == id ? Style::Focus : Style::Normal;
}

// A closed drop-down list: the selected entry and the arrow.
void DrawList(const MainModel& model, const Rect& r, int id) {
    std::string text = "[";
    text += model.List(id).SelectedText();
    PutText(r.x, r.y, text, r.w - 2, FocusStyle(model, id));
    PutText(r.Right() - 2, r.y, "v]", 2, FocusStyle(model, id));
}

void DrawCheck(const MainModel& model, const Rect& r, int id, const char* caption) {
    PutText(r.x, r.y, model.Checked(id) ? "[x]" : "[ ]", 3);
    PutText(r.x + 4, r.y, caption, r.w - 4, FocusStyle(model, id));
}

void DrawButton(const MainModel& model, const Rect& r, int id, const char* caption) {
    PutText(r.x, r.y, std::string("[ ") + caption + " ]", r.w, FocusStyle(model, id));
}

void DrawReport(const MainModel& model, const MainLayout& l) {
    const bool focused = model.focus() == ctl::kReport;
    DrawFrame(l.report, "", focused ? Style::Title : Style::Normal);
    const Rect& area = l.reportText;
    const std::vector<std::string> lines = WrapText(model.Text(ctl::kReport), area.w);
    const int count = static_cast<int>(lines.size());
    const int top = ClampTop(model.reportTop(), count, area.h);
    for (int i = 0; i < area.h; ++i) {
        const int n = top + i;
        PutText(area.x, area.y + i, n < count ? lines[static_cast<std::size_t>(n)] : "", area.w);
    }
    if (count > area.h) {
        const int x = l.reportBar.x;
        const Thumb thumb = ScrollThumb(top, count, area.h, area.h);
        for (int i = 0; i < area.h; ++i) {
            const bool inThumb = i >= thumb.offset && i < thumb.offset + thumb.size;
            mvaddch(area.y + i, x, inThumb ? (' ' | A_REVERSE) : ACS_CKBOARD);
        }
        const std::string where =
            Printf(" %d-%d/%d ", top + 1, std::min(top + area.h, count), count);
        PutRight(l.report.x + 2, l.report.Bottom() - 1, where, l.report.w - 4,
                 focused ? Style::Title : Style::Normal);
    }
}

void DrawOpenList(const MainModel& model, const MainLayout& l) {
    const int id = model.openList();
    const auto& entries = model.List(id).entries();
    const int count = static_cast<int>(entries.size());
    const Rect drop = DropDownRect(l.ControlRect(id), count, l.screen);
    ClearRect(drop);
    DrawFrame(drop, "");
    const int rows = drop.h - 2;
    const int first = FirstShownEntry(model.highlight(), count, rows);
    for (int i = 0; i < rows; ++i) {
        const int n = first + i;
        const bool shown = n < count;
        PutText(drop.x + 1, drop.y + 1 + i, shown ? entries[static_cast<std::size_t>(n)] : "",
                drop.w - 2, shown && n == model.highlight() ? Style::Focus : Style::Normal);
    }
}

}  // namespace

void DrawMainWindow(const MainModel& model, const MainLayout& l) {
    ClearRect(l.window);
    DrawFrame(l.window, std::string(" ") + kMainWindowTitle + " ");

    PutText(l.deviceLabel.x, l.deviceLabel.y, model.Text(ctl::kDeviceLabel), l.deviceLabel.w);
    DrawList(model, l.deviceList, ctl::kDeviceList);
    PutText(l.nameLabel.x, l.nameLabel.y, model.Text(ctl::kNameLabel), l.nameLabel.w);
    PutText(l.nameField.x, l.nameField.y, model.Text(ctl::kDeviceName), l.nameField.w,
            Style::Field);

    PutText(l.driverLabel.x, l.driverLabel.y, model.Text(ctl::kDriverLabel), l.driverLabel.w);
    DrawList(model, l.driverList, ctl::kDriverList);
    DrawCheck(model, l.selfDriverSel, ctl::kSelfDriverSel, "SelfDriverSel");

    DrawFrame(l.manufacture, "Manufacture");
    DrawCheck(model, l.ispEna, ctl::kIspEna, "ISP_Ena");
    DrawCheck(model, l.ispMsFw, ctl::kIspMsFw, "ISP_MS F/W");
    DrawButton(model, l.win9xIsp, ctl::kWin9xIsp, "WIN9xISP");
    DrawButton(model, l.win9xVer, ctl::kWin9xVer, "WIN9xVER");

    DrawReport(model, l);

    DrawFrame(l.bottomGroup, "Static");
    DrawButton(model, l.getInfo, ctl::kGetInfo, "GetInfo");
    DrawButton(model, l.userIspInfo, ctl::kUserIspInfo, "UserISPInfo");
    DrawButton(model, l.close, ctl::kClose, "Close");

    if (model.openList() != 0) DrawOpenList(model, l);
}

}  // namespace usbisp::tui
