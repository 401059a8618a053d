// UsbIsp.exe: the program on the real Windows services. "/record FILE"
// records the session for the bench.
#include "platform/win32/win32_platform.h"
#include "win32/main_window.h"
#include "win32/record_option.h"
#include "win32/responsive.h"
#include "win32/windows_api.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    usbisp::win32::ResponsivePlatform<usbisp::win32::Win32Platform> platform;
    auto recorder = usbisp::win32::RecorderFor(platform, commandLine, "UsbIsp.exe", "UsbIsp");
    if (recorder) return usbisp::win32::RunApplication(instance, *recorder);
    return usbisp::win32::RunApplication(instance, platform);
}
