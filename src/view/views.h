// The views: what the system asks of the main window, its message boxes and the
// status windows. The Win32 front end implements them with real controls, the
// terminal front end draws them, the transcript recorder writes them down.
//
// These are interfaces only; the flows of every layer reach the operator
// through them.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace usbisp {

enum class BoxIcon { None, Stop, Information };

// Title of the boxes that name no title of their own.
inline constexpr const char* kProgramName = "UsbIsp";

// Control ids of the main window (dialog template 102).
namespace ctl {
inline constexpr int kOk = 1;
inline constexpr int kWin9xIsp = 3;
inline constexpr int kWin9xVer = 4;
inline constexpr int kGetInfo = 5;
inline constexpr int kClose = 8;
inline constexpr int kUserIspInfo = 1010;
inline constexpr int kReport = 1021;
inline constexpr int kNameLabel = 1023;
inline constexpr int kDeviceName = 1024;
inline constexpr int kDriverList = 1027;
inline constexpr int kDriverLabel = 1028;
inline constexpr int kDeviceLabel = 1029;
inline constexpr int kDeviceList = 1030;
inline constexpr int kIspEna = 1031;
inline constexpr int kIspMsFw = 1032;
inline constexpr int kSelfDriverSel = 1035;
// The status window (dialog template 131).
inline constexpr int kStatusCaption = 1014;
inline constexpr int kStatusBarPlace = 1015;
inline constexpr int kStatusText = 1019;
inline constexpr int kStatusBar = 333;

// The id of the button or check box with this caption; 0 when there is none.
inline int ControlIdForCaption(std::string_view caption) {
    constexpr std::pair<std::string_view, int> kButtons[] = {
        {"WIN9xISP", kWin9xIsp},  {"WIN9xVER", kWin9xVer},          {"GetInfo", kGetInfo},
        {"Close", kClose},        {"UserISPInfo", kUserIspInfo},    {"ISP_Ena", kIspEna},
        {"ISP_MS F/W", kIspMsFw}, {"SelfDriverSel", kSelfDriverSel}};
    for (const auto& [text, id] : kButtons)
        if (text == caption) return id;
    return 0;
}
}  // namespace ctl

// One status window, created hidden.
class StatusView {
  public:
    virtual ~StatusView() = default;
    virtual void SetRange(int lower, int upper) = 0;
    virtual void SetStep(int step) = 0;
    // The bar has advanced by one step; `position` is where it stands now.
    virtual void StepIt(int position) = 0;
    virtual void SetCaption(const std::string& text) = 0;
    virtual void SetText(const std::string& text) = 0;
    virtual void Show(bool visible) = 0;
};

class MainView {
  public:
    virtual ~MainView() = default;

    // A modal box with an OK button; returns when the operator has closed it.
    virtual void MessageBox(const std::string& text, const std::string& caption, BoxIcon icon) = 0;
    // Replaces the text of a static text or edit control.
    virtual void SetControlText(int id, const std::string& text) = 0;

    // Drop-down lists. They keep their entries sorted, as the sorted style of
    // the dialog template does; ListSelect takes a position in the sorted list
    // and does nothing when there is no entry there.
    virtual void ListReset(int id) = 0;
    virtual void ListAdd(int id, const std::string& text) = 0;
    virtual void ListSelect(int id, int index) = 0;
    // The text of the selected entry, empty when none is selected.
    virtual std::string ListSelectedText(int id) = 0;

    // Ends the modal run of the main window: OK or cancel result.
    virtual void EndDialog(bool ok) = 0;

    virtual std::unique_ptr<StatusView> CreateStatusWindow() = 0;
};

}  // namespace usbisp
