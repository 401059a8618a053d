#include "tui/layout.h"

#include <algorithm>

#include "tui/text_view.h"
#include "view/views.h"

namespace usbisp::tui {

namespace {

// The window grows with the terminal up to this size; the report field takes
// the extra rows.
constexpr int kMaxWindowCols = 100;
constexpr int kMaxWindowRows = 50;

// Widths of the drawn controls: captions and their decorations.
constexpr int kLabelCols = 13;        // "Device Sel  :", "Device Name :"
constexpr int kDriverLabelCols = 15;  // "Inq.ProductName"
constexpr int kDeviceListCols = 8;
constexpr int kDriverListCols = 16;  // a 12-character driver file name and the arrow
constexpr int kOkCols = 8;           // "[  OK  ]"

// The controls a mouse click can reach.
constexpr int kClickable[] = {ctl::kDeviceList,  ctl::kDriverList, ctl::kSelfDriverSel,
                              ctl::kIspEna,      ctl::kIspMsFw,    ctl::kWin9xIsp,
                              ctl::kWin9xVer,    ctl::kReport,     ctl::kGetInfo,
                              ctl::kUserIspInfo, ctl::kClose};

int CheckCols(const char* caption) {
    return 4 + static_cast<int>(std::string(caption).size());
}
int ButtonCols(const char* caption) {
    return 4 + static_cast<int>(std::string(caption).size());
}

}  // namespace

Rect MainLayout::ControlRect(int id) const {
    switch (id) {
        case ctl::kDeviceLabel:
            return deviceLabel;
        case ctl::kDeviceList:
            return deviceList;
        case ctl::kNameLabel:
            return nameLabel;
        case ctl::kDeviceName:
            return nameField;
        case ctl::kDriverLabel:
            return driverLabel;
        case ctl::kDriverList:
            return driverList;
        case ctl::kSelfDriverSel:
            return selfDriverSel;
        case ctl::kIspEna:
            return ispEna;
        case ctl::kIspMsFw:
            return ispMsFw;
        case ctl::kWin9xIsp:
            return win9xIsp;
        case ctl::kWin9xVer:
            return win9xVer;
        case ctl::kReport:
            return report;
        case ctl::kGetInfo:
            return getInfo;
        case ctl::kUserIspInfo:
            return userIspInfo;
        case ctl::kClose:
            return close;
        default:
            return {};
    }
}

int MainLayout::HitTest(int px, int py) const {
    if (!fits) return 0;
    for (int id : kClickable)
        if (ControlRect(id).Contains(px, py)) return id;
    return 0;
}

MainLayout ComputeMainLayout(int cols, int rows) {
    MainLayout l;
    l.screen = {0, 0, std::max(cols, 0), std::max(rows, 0)};
    l.fits = cols >= kMinCols && rows >= kMinRows;
    if (!l.fits) return l;

    // The last row belongs to the key help line.
    const int w = std::min(cols, kMaxWindowCols);
    const int h = std::min(rows - 1, kMaxWindowRows);
    l.window = {(cols - w) / 2, (rows - 1 - h) / 2, w, h};
    l.help = {l.window.x, l.window.Bottom(), w, 1};

    const int left = l.window.x + 2;
    const int inner = w - 4;
    const int top = l.window.y;

    // Device list and name field, then the driver list and "SelfDriverSel".
    l.deviceLabel = {left, top + 1, kLabelCols, 1};
    l.deviceList = {left + 16, top + 1, kDeviceListCols, 1};
    l.nameLabel = {l.deviceList.Right() + 2, top + 1, kLabelCols, 1};
    l.nameField = {l.nameLabel.Right() + 1, top + 1, left + inner - (l.nameLabel.Right() + 1), 1};
    l.driverLabel = {left, top + 2, kDriverLabelCols, 1};
    l.driverList = {left + 16, top + 2, kDriverListCols, 1};
    l.selfDriverSel = {l.driverList.Right() + 2, top + 2, CheckCols("SelfDriverSel"), 1};

    // "Manufacture": the two check boxes left, the two firmware buttons right.
    l.manufacture = {left, top + 3, inner, 3};
    const int row = top + 4;
    l.ispEna = {left + 2, row, CheckCols("ISP_Ena"), 1};
    l.ispMsFw = {l.ispEna.Right() + 2, row, CheckCols("ISP_MS F/W"), 1};
    l.win9xVer = {left + inner - 2 - ButtonCols("WIN9xVER"), row, ButtonCols("WIN9xVER"), 1};
    l.win9xIsp = {l.win9xVer.x - 2 - ButtonCols("WIN9xISP"), row, ButtonCols("WIN9xISP"), 1};

    // The bottom row in its group, and the report field between.
    l.bottomGroup = {left, l.window.Bottom() - 4, inner, 3};
    const int buttons = ButtonCols("GetInfo") + ButtonCols("UserISPInfo") + ButtonCols("Close");
    const int gap = (inner - buttons) / 4;
    const int brow = l.bottomGroup.y + 1;
    l.getInfo = {left + gap, brow, ButtonCols("GetInfo"), 1};
    l.userIspInfo = {l.getInfo.Right() + gap, brow, ButtonCols("UserISPInfo"), 1};
    l.close = {l.userIspInfo.Right() + gap, brow, ButtonCols("Close"), 1};

    l.report = {left, top + 6, inner, l.bottomGroup.y - (top + 6)};
    // A blank column on the left, the scroll bar on the right.
    l.reportText = {left + 2, l.report.y + 1, inner - 4, l.report.h - 2};
    l.reportBar = {l.report.Right() - 2, l.report.y + 1, 1, l.report.h - 2};
    return l;
}

Rect DropDownRect(const Rect& list, int entries, const Rect& screen) {
    const int y = list.y + 1;
    const int wanted = std::max(entries, 1) + 2;
    const int h = std::max(3, std::min(wanted, screen.Bottom() - y));
    return {list.x, y, list.w, h};
}

Rect CenterIn(const Rect& area, int w, int h) {
    w = std::clamp(w, 0, area.w);
    h = std::clamp(h, 0, area.h);
    return {area.x + (area.w - w) / 2, area.y + (area.h - h) / 2, w, h};
}

StatusLayout ComputeStatusLayout(const Rect& window) {
    const int w = std::max(window.w * 4 / 5, std::min(window.w, 44));
    const int h = std::max(window.h * 2 / 3, std::min(window.h, 10));
    StatusLayout s;
    s.frame = CenterIn(window, w, h);
    const int inner = s.frame.w - 4;
    s.text = {s.frame.x + 2, s.frame.y + 1, inner, std::max(s.frame.h - 4, 1)};
    const int row = s.frame.Bottom() - 2;
    s.caption = {s.frame.x + 2, row, inner / 2 - 1, 1};
    s.bar = {s.caption.Right() + 2, row, s.frame.x + 2 + inner - (s.caption.Right() + 2), 1};
    return s;
}

BoxLayout ComputeBoxLayout(const Rect& screen, const std::string& caption, const std::string& text,
                           bool withIcon) {
    constexpr int kIconCols = 5;  // "(X)" and two blanks
    const int iconCols = withIcon ? kIconCols : 0;
    const int maxFrame = std::max(screen.w - 4, 12);

    int natural = 1;
    for (const std::string& line : WrapText(text, 1 << 20))
        natural = std::max(natural, static_cast<int>(line.size()));
    int frameW =
        std::max({natural + 4 + iconCols, static_cast<int>(caption.size()) + 6, kOkCols + 6});
    frameW = std::min(frameW, maxFrame);
    const int textW = std::max(frameW - 4 - iconCols, 1);

    BoxLayout b;
    b.lines = WrapText(text, textW);
    const int textH =
        std::clamp(static_cast<int>(b.lines.size()), 1, std::max(screen.h - 2 - 4, 1));
    b.frame = CenterIn(screen, frameW, textH + 4);
    if (withIcon) b.icon = {b.frame.x + 2, b.frame.y + 1, 3, 1};
    b.text = {b.frame.x + 2 + iconCols, b.frame.y + 1, textW, textH};
    b.ok = {b.frame.x + (b.frame.w - kOkCols) / 2, b.frame.Bottom() - 2, kOkCols, 1};
    return b;
}

}  // namespace usbisp::tui
