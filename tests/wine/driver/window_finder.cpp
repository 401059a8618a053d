#include "window_finder.h"

#include <vector>

namespace wine_driver {

namespace {

// The static control that holds a message box's text.
constexpr int kMessageBoxTextId = 0xFFFF;

struct Search {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialogs(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    char className[32] = {};
    ::GetClassNameA(window, className, sizeof className);
    if (owner == search->processId && std::string(className) == "#32770")
        search->found.push_back(window);
    return TRUE;
}

// A top-level window's title as Windows keeps it: asks the program nothing, so
// it does not wait while a command runs.
std::string Title(HWND window) {
    char title[128] = {};
    ::GetWindowTextA(window, title, sizeof title);
    return title;
}

std::vector<HWND> Dialogs(DWORD processId) {
    Search search{processId, {}};
    ::EnumWindows(CollectDialogs, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct ChildSearch {
    std::string caption;
    HWND found = nullptr;
};

BOOL CALLBACK FindChild(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<ChildSearch*>(param);
    if (WindowText(window) == search->caption) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindIcon(HWND window, LPARAM param) {
    const LONG_PTR style = ::GetWindowLongPtrA(window, GWL_STYLE);
    if ((style & SS_TYPEMASK) == SS_ICON && ::IsWindowVisible(window) &&
        ::SendMessageA(window, STM_GETICON, 0, 0) != 0) {
        *reinterpret_cast<bool*>(param) = true;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

std::string WindowText(HWND window) {
    // The program answers only between its commands; a text asked for while a
    // command runs waits for it.
    constexpr UINT kWaitMs = 60000;
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kWaitMs, &length))
        return {};
    std::vector<char> text(static_cast<std::size_t>(length) + 1, '\0');
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                          SMTO_NORMAL, kWaitMs, &copied);
    return text.data();
}

HWND FindMainWindow(DWORD processId) {
    for (HWND dialog : Dialogs(processId))
        if (Title(dialog) == kMainTitle) return dialog;
    return nullptr;
}

HWND FindMessageBox(DWORD processId) {
    for (HWND dialog : Dialogs(processId)) {
        const std::string title = Title(dialog);
        if (title != kMainTitle && title != kStatusTitle && ::IsWindowVisible(dialog))
            return dialog;
    }
    return nullptr;
}

HWND FindStatusWindow(DWORD processId) {
    for (HWND dialog : Dialogs(processId))
        if (Title(dialog) == kStatusTitle && ::IsWindowVisible(dialog)) return dialog;
    return nullptr;
}

HWND FindButton(HWND dialog, const std::string& caption) {
    ChildSearch search{caption};
    ::EnumChildWindows(dialog, FindChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string MessageBoxText(HWND box) {
    return WindowText(::GetDlgItem(box, kMessageBoxTextId));
}

bool MessageBoxHasIcon(HWND box) {
    bool found = false;
    ::EnumChildWindows(box, FindIcon, reinterpret_cast<LPARAM>(&found));
    return found;
}

}  // namespace wine_driver
