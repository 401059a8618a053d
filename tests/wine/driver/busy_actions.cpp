#include "busy_actions.h"

#include "window_finder.h"

namespace wine_driver {

HWND WaitForStatusWindow(DWORD processId) {
    for (int i = 0; i < 6000; ++i, ::Sleep(10))
        if (HWND status = FindStatusWindow(processId)) return status;
    return nullptr;
}

int TopChildId(HWND window) {
    HWND top = ::GetWindow(window, GW_CHILD);
    return top ? ::GetDlgCtrlID(top) : 0;
}

bool Answers(HWND window) {
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result) != 0;
}

void QueueClick(HWND control) {
    RECT area;
    ::GetClientRect(control, &area);
    const LPARAM middle = MAKELPARAM(area.right / 2, area.bottom / 2);
    ::PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, middle);
    ::PostMessageA(control, WM_LBUTTONUP, 0, middle);
}

void QueueSpace(HWND control) {
    const UINT scan = ::MapVirtualKeyA(VK_SPACE, 0);
    ::PostMessageA(control, WM_KEYDOWN, VK_SPACE, 1 | (scan << 16));
    ::PostMessageA(control, WM_KEYUP, VK_SPACE, 1 | (scan << 16) | (3u << 30));
}

}  // namespace wine_driver
