#include "win32/main_window.h"

#include <memory>

#include "ui/core.h"
#include "ui/main_dialog.h"
#include "win32/main_view.h"
#include "win32/resource_ids.h"
#include "win32/responsive.h"

namespace usbisp::win32 {

namespace {

// What the dialog procedure reaches through the window's DWLP_USER slot.
struct MainWindow {
    Win32MainView& view;
    MainDialog& dialog;
    HICON icon;
    // A command is running: the window keeps answering Windows meanwhile
    // (responsive.h), so messages reach it, but it takes no command.
    bool busy = false;
};

MainWindow* WindowOf(HWND window) {
    return reinterpret_cast<MainWindow*>(::GetWindowLongPtrA(window, DWLP_USER));
}

// Runs one command to its end. The operator's clicks and keys queued while it
// ran are thrown away afterwards: they were made at a window that takes no
// input meanwhile, and would otherwise start the next command (a second
// programming run, on a reader still in ISP mode) the moment this one ends.
template <class Command>
void RunCommand(MainWindow& main, Command command) {
    if (main.busy) return;
    main.busy = true;
    command();
    main.busy = false;
    DiscardQueuedInput();
}

BOOL OnInitDialog(HWND window, MainWindow& main) {
    main.view.Attach(window);
    bool shown = false;
    RunCommand(main, [&] { shown = main.dialog.OnInitDialog(); });
    if (!shown) return FALSE;  // the window has ended
    ::SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(main.icon));
    ::SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(main.icon));
    return TRUE;
}

// While minimised the window paints its icon centred in its client area.
bool OnPaint(HWND window, const MainWindow& main) {
    if (!::IsIconic(window)) return false;
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(window, &paint);
    ::SendMessageA(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    ::GetClientRect(window, &client);
    const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, main.icon);
    ::EndPaint(window, &paint);
    return true;
}

void OnCommand(MainWindow& main, int id, int code) {
    if (main.dialog.ended()) return;
    RunCommand(main, [&] {
        if (code == BN_CLICKED && id == IDCANCEL) {
            // Escape and the close box: the cancel path, without closing the device.
            main.dialog.OnCancel();
        } else if (code == BN_CLICKED) {
            main.dialog.OnButtonClicked(id);
        } else if (code == CBN_SELCHANGE) {
            main.dialog.OnSelectionChanged(id);
        }
    });
}

INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
        return OnInitDialog(window, *reinterpret_cast<MainWindow*>(lParam));
    }
    MainWindow* main = WindowOf(window);
    if (!main) return FALSE;
    switch (message) {
        case WM_COMMAND:
            OnCommand(*main, LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_CLOSE:
            if (!main->dialog.ended()) RunCommand(*main, [&] { main->dialog.OnCancel(); });
            return TRUE;
        case WM_PAINT:
            return OnPaint(window, *main) ? TRUE : FALSE;
        // The value of this message is the procedure's own result.
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(main->icon);
        default:
            return FALSE;
    }
}

}  // namespace

int RunApplication(HINSTANCE instance, Platform& platform) {
    // Probing the drives C: to Z: opens empty card slots too: Windows must fail
    // such an open quietly instead of asking the operator to insert a disk.
    ::SetErrorMode(SEM_FAILCRITICALERRORS);
    // The three-dimensional look of the common controls, and the progress bar class.
    ::InitCommonControls();
    Win32MainView view(instance);
    auto core = std::make_unique<Core>(platform, view);
    MainDialog dialog(*core);
    MainWindow main{view, dialog, ::LoadIconA(instance, MAKEINTRESOURCEA(IDI_APPLICATION_ICON))};
    ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN_WINDOW), nullptr, MainWindowProc,
                      reinterpret_cast<LPARAM>(&main));
    return 0;
}

}  // namespace usbisp::win32
