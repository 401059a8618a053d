#include "win32/responsive.h"

namespace usbisp::win32 {

namespace {

// Every mouse message of a window's client area, the extra buttons of Windows
// 2000 and the wheels included (the filter is a plain range, so Windows 98
// takes it too), and of its frame and title bar.
constexpr UINT kMouseFirst = WM_MOUSEFIRST;
constexpr UINT kMouseLast = 0x020E;
constexpr UINT kFrameMouseFirst = WM_NCMOUSEMOVE;
constexpr UINT kFrameMouseLast = 0x00AD;

// A window that keeps asking to be painted must not hold the command up.
constexpr int kMaxPaints = 64;

}  // namespace

void KeepResponsive() {
    MSG message;
    // Looking is enough for Windows; it also delivers what other programs send.
    ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    for (int i = 0;
         i < kMaxPaints && ::PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++i)
        ::DispatchMessageA(&message);
}

void DiscardQueuedInput() {
    MSG message;
    while (::PeekMessageA(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (::PeekMessageA(&message, nullptr, kMouseFirst, kMouseLast, PM_REMOVE)) {
    }
    while (::PeekMessageA(&message, nullptr, kFrameMouseFirst, kFrameMouseLast, PM_REMOVE)) {
    }
}

}  // namespace usbisp::win32
