// The production station on the bench (usbisp --station), in this process:
//   1. 16 readers plugged at once against one reader alone: the time on the
//      bench's clock until the last is done, and their ratio (at most 1.2:
//      the readers' runs overlap);
//   2. a line of 1,000 readers through 16 ports: the real time it takes and
//      the process's resident memory along it, which must stay flat.
//
// usage: line_benchmark [READERS]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "station.h"
#include "station/bench_line.h"
#include "station/bench_timeline.h"

namespace {

namespace fs = std::filesystem;
using usbisp::station::BenchLine;
using usbisp::station::ProductionLog;
using usbisp::station::StationConfig;

constexpr const char* kReader =
    R"({"vid": "058f", "pid": "6362", "serial": "000000000001",
        "inquiry": {"vendor": "Generic", "product": "Flash Reader", "revision": "1.00"},
        "hardwareRevision": "73 11 00", "firmware": "@ROM.BIN"})";

std::string BenchWithTimeline(const std::string& timeline) {
    return std::string(R"({"windows": "xp", "clock": "2003-11-18T09:30:00", "readers": [)") +
           kReader + R"(], "station": )" + timeline + "}";
}

long ResidentKb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct LineRun {
    std::uint64_t benchMs = 0;  // the bench's clock when the station ended
    int programmed = 0;
    double seconds = 0;
    std::vector<std::pair<int, long>> resident;  // (readers done, kB)
};

// Runs the timeline in a fresh station directory (station.h's files).
LineRun Run(const std::string& timeline, int sampleEvery) {
    const fs::path dir = usbisp::benchmarks::MakeStation();
    std::string error;
    auto bench =
        usbisp::station::ParseStationBench(BenchWithTimeline(timeline), dir.string(), error);
    if (!bench) {
        std::fprintf(stderr, "line_benchmark: %s\n", error.c_str());
        std::exit(1);
    }
    ProductionLog log;
    if (!log.Open((dir / "PRODUCTION.LOG").string(), error)) {
        std::fprintf(stderr, "line_benchmark: %s\n", error.c_str());
        std::exit(1);
    }
    LineRun run;
    StationConfig config;
    config.directory = dir.string();
    config.transcript = [&](const std::string& line) {
        // "port P programmed MS ...", "station end MS ..."
        if (line.rfind("station end ", 0) == 0) run.benchMs = std::stoull(line.substr(12));
        if (line.rfind("port ", 0) != 0 || line.find(" programmed ") == std::string::npos) return;
        ++run.programmed;
        if (sampleEvery > 0 && run.programmed % sampleEvery == 0)
            run.resident.emplace_back(run.programmed, ResidentKb());
    };
    const auto start = std::chrono::steady_clock::now();
    {
        BenchLine line(*bench, log, std::move(config));
        line.Run();
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    const int readers = argc > 1 ? std::atoi(argv[1]) : 1000;

    const LineRun one = Run(R"({"ports": 1, "plugs": [{"port": 1}]})", 0);
    std::string sixteen = R"({"ports": 16, "plugs": [)";
    for (int port = 1; port <= 16; ++port)
        sixteen += std::string(port > 1 ? ", " : "") + R"({"port": )" + std::to_string(port) + "}";
    const LineRun many = Run(sixteen + "]}", 0);
    if (one.programmed != 1 || many.programmed != 16) {
        std::fprintf(stderr, "line_benchmark: not every reader was programmed\n");
        return 1;
    }
    const double ratio = static_cast<double>(many.benchMs) / static_cast<double>(one.benchMs);
    std::printf(
        "station, bench clock: 1 reader done at %llu ms, 16 plugged at once at %llu ms: "
        "ratio %.2f (at most 1.20)\n",
        static_cast<unsigned long long>(one.benchMs), static_cast<unsigned long long>(many.benchMs),
        ratio);

    const LineRun line = Run(
        R"({"ports": 16, "handling": 3000, "line": {"readers": )" + std::to_string(readers) + "}}",
        readers / 10);
    std::printf(
        "station, %d readers through 16 ports: %.2f s real (%.1f ms a reader), "
        "%llu s on the bench's clock, %d programmed\n",
        readers, line.seconds, line.seconds * 1000 / readers,
        static_cast<unsigned long long>(line.benchMs / 1000), line.programmed);
    std::printf("station, resident memory after readers:");
    for (const auto& [done, kb] : line.resident) std::printf(" %d:%ld kB", done, kb);
    std::printf("\n");
    if (line.resident.size() >= 2) {
        const long growth = line.resident.back().second - line.resident.front().second;
        std::printf("station, memory from the first to the last sample: %+ld kB\n", growth);
    }
    return ratio <= 1.2 && line.programmed == readers ? 0 : 1;
}
