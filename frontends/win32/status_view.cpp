#include "win32/status_view.h"

#include "win32/line_breaks.h"
#include "win32/resource_ids.h"
#include "win32/responsive.h"

namespace usbisp::win32 {

namespace {

// Lays the working bar over the template's bar 1015, which only gives the place.
// A child window is made at the bottom of its siblings, so the bar is raised
// above 1015; 1015 clips its painting to what the bar leaves free, and a
// repaint of it can never cover the working bar.
BOOL InitStatusWindow(HWND window) {
    RECT place;
    ::GetWindowRect(::GetDlgItem(window, IDC_STATUS_BAR_PLACE), &place);
    ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&place), 2);
    HWND bar = ::CreateWindowExA(
        0, PROGRESS_CLASSA, "", WS_CHILD, place.left, place.top, place.right - place.left,
        place.bottom - place.top, window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUS_BAR)),
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrA(window, GWLP_HINSTANCE)), nullptr);
    if (bar) {
        ::SetWindowPos(bar, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        ::SendMessageA(bar, PBM_SETPOS, 0, 0);
        ::ShowWindow(bar, SW_SHOW);
    }
    return TRUE;
}

// The window takes no input and has no commands; the operator cannot close it.
INT_PTR CALLBACK StatusWindowProc(HWND window, UINT message, WPARAM, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return InitStatusWindow(window);
        case WM_CLOSE:
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

Win32StatusView::Win32StatusView(HINSTANCE instance, HWND owner)
    : window_(::CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_STATUS_WINDOW), owner,
                                   StatusWindowProc, 0)) {}

Win32StatusView::~Win32StatusView() {
    if (window_) ::DestroyWindow(window_);
}

HWND Win32StatusView::Bar() const {
    return ::GetDlgItem(window_, IDC_STATUS_BAR);
}

void Win32StatusView::Repaint(HWND control) {
    if (control) ::UpdateWindow(control);
    ::UpdateWindow(window_);
    KeepResponsive();
}

void Win32StatusView::SetRange(int lower, int upper) {
    ::SendMessageA(Bar(), PBM_SETRANGE, 0, MAKELPARAM(lower, upper));
    Repaint(Bar());
}

void Win32StatusView::SetStep(int step) {
    ::SendMessageA(Bar(), PBM_SETSTEP, step, 0);
}

void Win32StatusView::StepIt(int) {
    // The control applies the same wrap-around rule as the core's position.
    ::SendMessageA(Bar(), PBM_STEPIT, 0, 0);
    Repaint(Bar());
}

void Win32StatusView::SetCaption(const std::string& text) {
    ::SetDlgItemTextA(window_, IDC_STATUS_CAPTION, ToWindowsLineBreaks(text).c_str());
    Repaint(::GetDlgItem(window_, IDC_STATUS_CAPTION));
}

void Win32StatusView::SetText(const std::string& text) {
    ::SetDlgItemTextA(window_, IDC_STATUS_TEXT, ToWindowsLineBreaks(text).c_str());
    Repaint(::GetDlgItem(window_, IDC_STATUS_TEXT));
}

void Win32StatusView::Show(bool visible) {
    ::ShowWindow(window_, visible ? SW_SHOW : SW_HIDE);
    if (visible) ::UpdateWindow(window_);
}

}  // namespace usbisp::win32
