// The main window's view on Windows: message boxes, the controls of dialog
// template 102, and the status windows of the flows.
#pragma once

#include <string>

#include "view/views.h"
#include "win32/windows_api.h"

namespace usbisp::win32 {

class Win32MainView : public MainView {
  public:
    explicit Win32MainView(HINSTANCE instance) : instance_(instance) {}

    // The dialog exists from its WM_INITDIALOG on; every call before that
    // would have no window to act on.
    void Attach(HWND dialog) { dialog_ = dialog; }
    HWND dialog() const { return dialog_; }

    void MessageBox(const std::string& text, const std::string& caption, BoxIcon icon) override;
    void SetControlText(int id, const std::string& text) override;
    void ListReset(int id) override;
    void ListAdd(int id, const std::string& text) override;
    void ListSelect(int id, int index) override;
    std::string ListSelectedText(int id) override;
    void EndDialog(bool ok) override;
    std::unique_ptr<StatusView> CreateStatusWindow() override;

  private:
    HWND Control(int id) const { return ::GetDlgItem(dialog_, id); }

    HINSTANCE instance_;
    HWND dialog_ = nullptr;
};

}  // namespace usbisp::win32
