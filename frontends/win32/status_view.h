// The status window of a firmware flow on Windows: a modeless dialog from
// template 131 with the working progress bar 333 laid over control 1015.
#pragma once

#include <string>

#include "view/views.h"
#include "win32/windows_api.h"

namespace usbisp::win32 {

class Win32StatusView : public StatusView {
  public:
    // Creates the window at once, hidden, owned by `owner`.
    Win32StatusView(HINSTANCE instance, HWND owner);
    ~Win32StatusView() override;
    Win32StatusView(const Win32StatusView&) = delete;
    Win32StatusView& operator=(const Win32StatusView&) = delete;

    void SetRange(int lower, int upper) override;
    void SetStep(int step) override;
    void StepIt(int position) override;
    void SetCaption(const std::string& text) override;
    void SetText(const std::string& text) override;
    void Show(bool visible) override;

  private:
    // The flows do not return to the message loop while they run: every
    // change is painted at once.
    void Repaint(HWND control);
    HWND Bar() const;

    HWND window_ = nullptr;
};

}  // namespace usbisp::win32
