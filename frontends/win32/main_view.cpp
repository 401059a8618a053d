#include "win32/main_view.h"

#include <vector>

#include "win32/line_breaks.h"
#include "win32/responsive.h"
#include "win32/status_view.h"

namespace usbisp::win32 {

namespace {

UINT IconStyle(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Stop:
            return MB_ICONSTOP;
        case BoxIcon::Information:
            return MB_ICONINFORMATION;
        case BoxIcon::None:
            break;
    }
    return 0;
}

}  // namespace

void Win32MainView::MessageBox(const std::string& text, const std::string& caption, BoxIcon icon) {
    ::MessageBoxA(dialog_, text.c_str(), caption.c_str(), MB_OK | IconStyle(icon));
}

void Win32MainView::SetControlText(int id, const std::string& text) {
    HWND control = Control(id);
    ::SetWindowTextA(control, ToWindowsLineBreaks(text).c_str());
    // The handlers do not return to the message loop until their flow ends.
    ::UpdateWindow(control);
    KeepResponsive();
}

void Win32MainView::ListReset(int id) {
    ::SendMessageA(Control(id), CB_RESETCONTENT, 0, 0);
    ::UpdateWindow(Control(id));
}

void Win32MainView::ListAdd(int id, const std::string& text) {
    // The template gives the list the sorted style: the control places it.
    ::SendMessageA(Control(id), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Win32MainView::ListSelect(int id, int index) {
    const LRESULT count = ::SendMessageA(Control(id), CB_GETCOUNT, 0, 0);
    if (index < 0 || index >= count) return;
    ::SendMessageA(Control(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::UpdateWindow(Control(id));
}

std::string Win32MainView::ListSelectedText(int id) {
    HWND list = Control(id);
    const LRESULT selected = ::SendMessageA(list, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR) return {};
    const LRESULT length = ::SendMessageA(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(selected), 0);
    if (length == CB_ERR) return {};
    std::vector<char> text(static_cast<std::size_t>(length) + 1, '\0');
    ::SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(selected),
                   reinterpret_cast<LPARAM>(text.data()));
    return text.data();
}

void Win32MainView::EndDialog(bool ok) {
    ::EndDialog(dialog_, ok ? IDOK : IDCANCEL);
}

std::unique_ptr<StatusView> Win32MainView::CreateStatusWindow() {
    // The flows pass no parent: the main window becomes the owner.
    return std::make_unique<Win32StatusView>(instance_, dialog_);
}

}  // namespace usbisp::win32
