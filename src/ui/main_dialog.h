// The main window's behaviour: its initialisation and the handler of every
// control. The front ends draw the window and call these.
#pragma once

#include <string>

#include "ui/core.h"

namespace usbisp {

inline constexpr const char* kMainWindowTitle = "[ NOVU ] USB Device upgrade F/W  AP  Version 3.08";

class MainDialog {
  public:
    explicit MainDialog(Core& core) : core_(core) {}

    // The window's initialisation: platform check, update data summary, reset,
    // driver list and a first "GetInfo". False when the window has already
    // ended (unsupported platform).
    bool OnInitDialog();

    void FillDriverList(int controlId);

    void OnGetInfo();
    void OnDriverSelChange();
    void OnSelfDriverSel();
    void OnIspEna();
    void OnIspMsFw();
    void OnDeviceSelChange();
    void OnWin9xIsp();
    void OnWin9xVer();
    void OnUserIspInfo();
    void OnCloseButton();
    // The title bar's close box and Escape: the framework's cancel path.
    void OnCancel();

    // The command map: a button or check box clicked, a list's selection
    // changed. False when the control has no handler.
    bool OnButtonClicked(int controlId);
    bool OnSelectionChanged(int controlId);

    bool ended() const { return ended_; }

  private:
    // Opens the maker's driver where the path needs one; false (with the load
    // text in statusText) when it failed.
    bool LoadDriver(const char* loadText);
    bool IsKnownController() const;
    void AppendCounters();
    void Refuse(const char* text);

    Core& core_;
    bool ended_ = false;
};

}  // namespace usbisp
