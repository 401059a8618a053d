// UsbIsp.exe: the program on the real Windows services.
#include "platform/win32/win32_platform.h"
#include "win32/main_window.h"
#include "win32/responsive.h"
#include "win32/windows_api.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    usbisp::win32::ResponsivePlatform<usbisp::win32::Win32Platform> platform;
    return usbisp::win32::RunApplication(instance, platform);
}
