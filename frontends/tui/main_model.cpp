#include "tui/main_model.h"

#include <algorithm>
#include <iterator>

#include "tui/text_view.h"
#include "view/views.h"

namespace usbisp::tui {

namespace {

// The tab order: top to bottom, left to right, as the dialog is laid out.
constexpr int kTabOrder[] = {ctl::kDeviceList, ctl::kDriverList,  ctl::kSelfDriverSel, ctl::kIspEna,
                             ctl::kIspMsFw,    ctl::kWin9xIsp,    ctl::kWin9xVer,      ctl::kReport,
                             ctl::kGetInfo,    ctl::kUserIspInfo, ctl::kClose};
constexpr int kTabCount = static_cast<int>(std::size(kTabOrder));

const SortedList kNoList;
const std::string kNoText;

}  // namespace

int FirstShownEntry(int highlight, int count, int rows) {
    return ClampTop(highlight - rows + 1, count, rows);
}

bool IsList(int id) {
    return id == ctl::kDeviceList || id == ctl::kDriverList;
}

bool IsCheckBox(int id) {
    return id == ctl::kSelfDriverSel || id == ctl::kIspEna || id == ctl::kIspMsFw;
}

bool IsButton(int id) {
    return id == ctl::kWin9xIsp || id == ctl::kWin9xVer || id == ctl::kGetInfo ||
           id == ctl::kUserIspInfo || id == ctl::kClose;
}

MainModel::MainModel() : focus_(kTabOrder[0]) {
    texts_[ctl::kDeviceLabel] = "Device Sel  :";
    texts_[ctl::kNameLabel] = "Device Name :";
    texts_[ctl::kDriverLabel] = "Driver Select";
}

const std::string& MainModel::Text(int id) const {
    auto it = texts_.find(id);
    return it == texts_.end() ? kNoText : it->second;
}

void MainModel::SetText(int id, std::string text) {
    texts_[id] = std::move(text);
    if (id == ctl::kReport) reportTop_ = reportFromEnd_ ? kReportEnd : 0;
}

const SortedList& MainModel::List(int id) const {
    auto it = lists_.find(id);
    return it == lists_.end() ? kNoList : it->second;
}

bool MainModel::Checked(int id) const {
    auto it = checks_.find(id);
    return it != checks_.end() && it->second;
}

void MainModel::FlipCheck(int id) {
    checks_[id] = !Checked(id);
}

void MainModel::SetFocus(int id) {
    if (std::find(std::begin(kTabOrder), std::end(kTabOrder), id) != std::end(kTabOrder))
        focus_ = id;
}

void MainModel::MoveFocus(int delta) {
    const int at = static_cast<int>(std::find(std::begin(kTabOrder), std::end(kTabOrder), focus_) -
                                    std::begin(kTabOrder));
    const int next = ((at + delta) % kTabCount + kTabCount) % kTabCount;
    focus_ = kTabOrder[next];
}

void MainModel::OpenList(int id) {
    openList_ = id;
    highlight_ = std::max(List(id).selected(), 0);
}

void MainModel::MoveHighlight(int delta) {
    const int count = static_cast<int>(List(openList_).entries().size());
    highlight_ = count == 0 ? 0 : std::clamp(highlight_ + delta, 0, count - 1);
}

}  // namespace usbisp::tui
