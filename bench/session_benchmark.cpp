// One whole session on the bench, as an operator at a production station runs
// it: start-up (DEVICE.TXT, GetInfo), "GetInfo" again, programming a 32 KB
// image with its serial number, verification of the file, Close. Waits advance
// the virtual clock, so the time is the program's own.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "script/headless.h"

namespace {

namespace fs = std::filesystem;

constexpr char kBench[] = R"({"windows": "xp", "clock": "2003-11-18T09:30:00",
  "readers": [{"letters": "E", "vid": "058f", "pid": "6362", "serial": "000000000001",
    "inquiry": {"vendor": "Generic", "product": "Flash Reader", "revision": "1.00"},
    "hardwareRevision": "73 11 00", "firmware": "@ROM.BIN"}]})";
constexpr char kScript[] =
    "click GetInfo\nclick ISP_Ena\nclick WIN9xISP\nclick WIN9xVER\nclick Close\n";
constexpr char kDevice[] =
    "FA_Inquiry_Manufacture = \"Generic\";\nFA_Inquiry_Product = \"Flash Reader\";\n"
    "ISP_ROMCODE = \"ROM.BIN\";\nVID = \"058F\";\nPID = \"6362\";\n"
    "String_Manufacture = \"Generic\";\nString_Product = \"USB Card Reader\";\n";

void Write(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// The station's directory: DEVICE.TXT, SERIAL.TXT, a type-5 image for a
// 7311 and its address file.
fs::path MakeStation() {
    std::string pattern = (fs::temp_directory_path() / "usbisp-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    const fs::path dir = pattern;
    Write(dir / "BENCH.JSON", kBench);
    Write(dir / "SCRIPT.TXT", kScript);
    Write(dir / "DEVICE.TXT", kDevice);
    Write(dir / "SERIAL.TXT", "0x57 0x01 0x0000");
    std::string image(32768, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7);
    image[0] = 5;
    image[1] = static_cast<char>(0xFE);
    Write(dir / "ROM.BIN", image);
    Write(dir / "ROM.adr", std::string("\x00\x01\x00\x00\x06\x00\x00\x00\x0d\x00\x00\x00", 12));
    return dir;
}

void BM_Session(benchmark::State& state) {
    const fs::path dir = MakeStation();
    usbisp::script::HeadlessOptions options;
    options.scriptPath = (dir / "SCRIPT.TXT").string();
    options.benchPath = (dir / "BENCH.JSON").string();
    options.directory = dir.string();
    std::istringstream in;
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::ostringstream out;
        std::ostringstream err;
        const int status = usbisp::script::RunHeadless(options, in, out, err);
        const std::string transcript = out.str();
        // A session that did not program is no measurement.
        if (status != 0 || transcript.find("[Verify Data sucessfull]") == std::string::npos) {
            state.SkipWithError("the session did not program the reader");
            break;
        }
        bytes = transcript.size();
        benchmark::DoNotOptimize(transcript.data());
    }
    state.counters["transcript_bytes"] = static_cast<double>(bytes);
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}
BENCHMARK(BM_Session)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
