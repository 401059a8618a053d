// UsbIspBench.exe: the same windows over the bench, the emulated machine
// described by BENCH.JSON in the current directory (the built-in demo bench
// when there is none). The program's files are read from the current
// directory as usual. "/record FILE" records the session, as UsbIsp.exe
// does on real Windows.
#include <string>

#include "platform/sim/bench.h"
#include "platform/sim/bench_file.h"
#include "win32/main_window.h"
#include "win32/record_option.h"
#include "win32/responsive.h"
#include "win32/windows_api.h"

namespace {

constexpr const char* kBenchFile = "BENCH.JSON";

bool BenchFileExists() {
    return ::GetFileAttributesA(kBenchFile) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    std::string error;
    auto config = usbisp::sim::LoadBenchFile(BenchFileExists() ? kBenchFile : "", error);
    if (!config) {
        ::MessageBoxA(nullptr, error.c_str(), "UsbIspBench", MB_OK | MB_ICONSTOP);
        return 2;
    }
    // The window shows what the operator sees; the bench's own transcript
    // events (waits, standard output) have no one to go to.
    usbisp::win32::ResponsivePlatform<usbisp::sim::Bench> bench(std::move(*config), ".", nullptr,
                                                                false);
    auto recorder =
        usbisp::win32::RecorderFor(bench, commandLine, "UsbIspBench.exe", "UsbIspBench");
    if (recorder) return usbisp::win32::RunApplication(instance, *recorder);
    return usbisp::win32::RunApplication(instance, bench);
}
