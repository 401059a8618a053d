// One whole session on the bench in this process, as an operator at a
// production station runs it (station.h). Waits advance the virtual clock, so
// the time is the program's own.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "script/headless.h"
#include "station.h"

namespace {

namespace fs = std::filesystem;

void BM_Session(benchmark::State& state) {
    const fs::path dir = usbisp::benchmarks::MakeStation();
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
