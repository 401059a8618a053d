// The soak run: one process programs 10,000 readers, as a production station
// does in a long shift, with a replug and "GetInfo" between runs and one run in
// every 101 failing in transport. It checks after every run that SERIAL.TXT
// advanced by exactly one on success and stayed on failure, that no handle is
// left open, and at the end the counters, the wrap of the counter past 0xFFFF
// and that resident memory did not grow past a small margin after the first
// hundred runs. Prints its time and peak memory.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "platform/sim/bench.h"
#include "platform/sim/bench_config.h"
#include "script/recording_view.h"
#include "ui/core.h"
#include "ui/main_dialog.h"
#include "view/views.h"

namespace {

constexpr int kSuccesses = 10000;
constexpr int kFailEvery = 101;  // every 101st IspWrite fails in transport
constexpr int kRuns = kSuccesses + kSuccesses / (kFailEvery - 1);
constexpr unsigned kFirstCounter = 0xFFF0;  // wraps after 16 runs
constexpr long kMemoryMarginKb = 1024;

std::string Directory() {
    char pattern[] = "/tmp/usbisp-soak-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    return pattern;
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// "VmRSS" or "VmHWM" of this process, in KB.
long MemoryKb(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::string(field).size() + 1);
    return -1;
}

std::string SerialText(unsigned counter) {
    char text[32];
    std::snprintf(text, sizeof text, "0x57 0x1 0x%x ", counter & 0xFFFF);
    return text;
}

std::string BenchJson() {
    std::string failures;
    for (int n = kFailEvery; n <= kRuns; n += kFailEvery)
        failures += (failures.empty() ? "\"IspWrite#" : ", \"IspWrite#") + std::to_string(n) + "\"";
    return R"({"windows": "xp", "clock": "2003-11-18T09:30:00", "readers": [{"letters": "E",
      "vid": "058f", "pid": "6362", "serial": "000000000001",
      "inquiry": {"vendor": "Generic", "product": "Flash Reader", "revision": "1.00"},
      "hardwareRevision": "73 11 00", "failures": [)" +
           failures + "]}]}";
}

int Fail(const std::string& what) {
    std::cerr << "soak: " << what << "\n";
    return 1;
}

}  // namespace

int main() {
    using namespace usbisp;
    const std::string dir = Directory();
    Write(dir + "/DEVICE.TXT",
          "FA_Inquiry_Manufacture = \"Generic\";\nFA_Inquiry_Product = \"Flash Reader\";\n"
          "ISP_ROMCODE = \"ROM.BIN\";\nVID = \"058F\";\nPID = \"6362\";\n");
    Write(dir + "/SERIAL.TXT", SerialText(kFirstCounter));
    // The largest image the pass-through carries (its length field has 16 bits).
    std::string image(65535, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7 + 1);
    image[0] = 5;
    image[1] = static_cast<char>(0xFE);
    Write(dir + "/ROM.BIN", image);
    Write(dir + "/ROM.adr", std::string("\x00\x01\x00\x00\x06\x00\x00\x00\x0d\x00\x00\x00", 12));

    std::string error;
    auto config = sim::ParseBenchConfig(BenchJson(), dir, error);
    if (!config) return Fail(error);
    std::size_t events = 0;
    auto count = [&events](const std::string&) { ++events; };
    sim::Bench bench(std::move(*config), dir, count, false);
    script::RecordingView view(count);
    Core core(bench, view);
    MainDialog dialog(core);

    const auto start = std::chrono::steady_clock::now();
    dialog.OnInitDialog();
    dialog.OnButtonClicked(ctl::kIspEna);
    unsigned counter = kFirstCounter;
    long memoryAfter100 = 0;
    for (int run = 1; run <= kRuns; ++run) {
        const int successes = core.app.ispSuccessCount;
        dialog.OnButtonClicked(ctl::kWin9xIsp);
        const bool succeeded = core.app.ispSuccessCount == successes + 1;
        if (succeeded == (run % kFailEvery == 0))
            return Fail("run " + std::to_string(run) + (succeeded ? " succeeded" : " failed") +
                        ":\n" + core.app.statusText);
        if (succeeded) ++counter;
        if (Read(dir + "/SERIAL.TXT") != SerialText(counter))
            return Fail("run " + std::to_string(run) + ": SERIAL.TXT holds \"" +
                        Read(dir + "/SERIAL.TXT") + "\"");
        if (bench.openHandleCount() != 0) return Fail("a handle is left open after a run");
        bench.Replug();
        dialog.OnButtonClicked(ctl::kGetInfo);
        if (core.devices.deviceCount != 1) return Fail("the reader is not found after a replug");
        if (run == 100) memoryAfter100 = MemoryKb("VmRSS:");
    }
    dialog.OnButtonClicked(ctl::kClose);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long memoryAtEnd = MemoryKb("VmRSS:");

    const AppState& app = core.app;
    if (app.ispSuccessCount != kSuccesses || app.ispErrorCount != kRuns - kSuccesses ||
        app.ispTotalCount != app.ispSuccessCount + app.ispErrorCount)
        return Fail("counters " + std::to_string(app.ispSuccessCount) + " + " +
                    std::to_string(app.ispErrorCount) + " of " + std::to_string(app.ispTotalCount));
    if (Read(dir + "/SERIAL.TXT") != SerialText(kFirstCounter + kSuccesses))
        return Fail("SERIAL.TXT did not advance by exactly 10000");
    if (bench.openHandleCount() != 0) return Fail("a handle is left open at the end");
    if (memoryAtEnd - memoryAfter100 > kMemoryMarginKb)
        return Fail("resident memory grew from " + std::to_string(memoryAfter100) + " KB to " +
                    std::to_string(memoryAtEnd) + " KB");
    std::printf(
        "soak: %d runs (%d programmed, %d failed) in %.1f s, %.2f ms a run, %zu events\n"
        "soak: SERIAL.TXT 0x%x -> 0x%x; resident memory %ld KB after 100 runs, %ld KB at the "
        "end, peak %ld KB\n",
        kRuns, app.ispSuccessCount, app.ispErrorCount, seconds, seconds * 1000 / kRuns, events,
        kFirstCounter, (kFirstCounter + kSuccesses) & 0xFFFF, memoryAfter100, memoryAtEnd,
        MemoryKb("VmHWM:"));
    std::filesystem::remove_all(dir);
    return 0;
}
