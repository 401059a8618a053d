// A line of four stations on one PostgreSQL database against the same four on
// their local files: each station 16 ports and READERS readers (default
// 1,000), all four at once in this process, on the bench. Prints the line's
// throughput both ways and their ratio (the database may cost at most 10%),
// the reservations per second, and the time a reader spends waiting for its
// number and its record. The server is one of the benchmark's own, as the
// tests start it (tests/support/pg_server.h).
//
// usage: records_benchmark [READERS]
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "station.h"
#include "station/bench_line.h"
#include "station/bench_timeline.h"
#include "station/records_numbers.h"
#include "station/records_store.h"
#include "support/pg_server.h"

namespace {

namespace fs = std::filesystem;
using namespace usbisp::station;
using Clock = std::chrono::steady_clock;

constexpr int kStations = 4;

constexpr const char* kReader =
    R"({"vid": "058f", "pid": "6362", "serial": "000000000001",
        "inquiry": {"vendor": "Generic", "product": "Flash Reader", "revision": "1.00"},
        "hardwareRevision": "73 11 00", "firmware": "@ROM.BIN"})";

// The numbers of a station, timed: how long its readers wait for them.
class Timed : public NumberSource {
  public:
    Timed(std::unique_ptr<NumberSource> inner, std::atomic<long long>& waitedUs,
          std::atomic<long>& reserved)
        : inner_(std::move(inner)), waitedUs_(waitedUs), reserved_(reserved) {}

    bool Claim(usbisp::Platform& files, const usbisp::OperatorMessages& messages) override {
        return inner_->Claim(files, messages);
    }
    bool Load(usbisp::Platform& files, const usbisp::OperatorMessages& messages) override {
        return inner_->Load(files, messages);
    }
    TakenNumber Take(usbisp::Platform& files, const usbisp::OperatorMessages& messages,
                     bool userSerial, const NumberFor& who) override {
        const auto start = Clock::now();
        const TakenNumber taken = inner_->Take(files, messages, userSerial, who);
        Add(start);
        reserved_ += taken.reserved;
        return taken;
    }
    bool Record(const ReaderRecord& record, const std::string& line, std::string& why) override {
        const auto start = Clock::now();
        const bool kept = inner_->Record(record, line, why);
        Add(start);
        return kept;
    }
    void End() override { inner_->End(); }
    std::string halted() const override { return inner_->halted(); }
    int voidedAtLoad() const override { return inner_->voidedAtLoad(); }
    usbisp::SerialCounter counter() const override { return inner_->counter(); }

  private:
    void Add(Clock::time_point start) {
        waitedUs_ +=
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    }

    std::unique_ptr<NumberSource> inner_;
    std::atomic<long long>& waitedUs_;
    std::atomic<long>& reserved_;
};

struct LineRun {
    double seconds = 0;
    int programmed = 0;
    long reserved = 0;
    long long waitedUs = 0;
};

// The four stations at once; `url` empty: on their local files.
LineRun RunLine(int readers, const std::string& url) {
    std::vector<fs::path> dirs;
    std::vector<std::unique_ptr<StationBench>> benches;
    const std::string bench = std::string(R"({"windows": "xp", "clock": "2003-11-18T09:30:00",)") +
                              R"("readers": [)" + kReader +
                              R"(], "station": {"ports": 16, "handling": 3000, "line": )" +
                              R"({"readers": )" + std::to_string(readers) + "}}}";
    for (int i = 0; i < kStations; ++i) {
        dirs.push_back(usbisp::benchmarks::MakeStation());
        usbisp::benchmarks::WriteFile(dirs.back() / "SERIAL.TXT",
                                      "0x57 0x0" + std::to_string(i + 1) + " 0x0000");
        std::string error;
        auto parsed = ParseStationBench(bench, dirs.back().string(), error);
        if (!parsed) {
            std::fprintf(stderr, "records_benchmark: %s\n", error.c_str());
            std::exit(1);
        }
        benches.push_back(std::make_unique<StationBench>(std::move(*parsed)));
    }
    LineRun run;
    std::atomic<long long> waitedUs{0};
    std::atomic<long> reserved{0};
    std::atomic<int> programmed{0};
    std::vector<std::thread> stations;
    const auto start = Clock::now();
    for (int i = 0; i < kStations; ++i) {
        stations.emplace_back([&, i] {
            ProductionLog log;
            std::string error;
            if (!log.Open((dirs[i] / "PRODUCTION.LOG").string(), error)) std::exit(1);
            StationConfig config;
            config.directory = dirs[i].string();
            config.transcript = [&](const std::string& line) {
                if (line.rfind("port ", 0) == 0 && line.find(" programmed ") != std::string::npos)
                    ++programmed;
            };
            const std::string name = "bench-" + std::to_string(i + 1);
            config.numbers = [&, name](ProductionLog& l, StationTime& time) {
                std::unique_ptr<NumberSource> inner;
                if (url.empty())
                    inner = std::make_unique<SerialAllocator>(l, time);
                else
                    inner = std::make_unique<DbNumbers>(l, time, url, name);
                return std::make_unique<Timed>(std::move(inner), waitedUs, reserved);
            };
            BenchLine line(*benches[i], log, std::move(config));
            line.Run();
        });
    }
    for (std::thread& t : stations) t.join();
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.programmed = programmed;
    run.reserved = reserved;
    run.waitedUs = waitedUs;
    for (const fs::path& dir : dirs) {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    const int readers = argc > 1 ? std::atoi(argv[1]) : 1000;
    usbisp::test::PgServer server;
    std::string error;
    if (!server.Start(error, true)) {
        std::fprintf(stderr, "records_benchmark: %s\n", error.c_str());
        return 1;
    }
    const std::string url = server.NewDatabase("line", error);
    DbLink link;
    std::string said;
    if (url.empty() || !link.Connect(url, error) || !InitSchema(link, said)) {
        std::fprintf(stderr, "records_benchmark: %s%s\n", error.c_str(), said.c_str());
        return 1;
    }
    const LineRun local = RunLine(readers, "");
    const LineRun line = RunLine(readers, url);
    const int total = kStations * readers;
    if (local.programmed != total || line.programmed != total) {
        std::fprintf(stderr, "records_benchmark: not every reader was programmed (%d, %d of %d)\n",
                     local.programmed, line.programmed, total);
        return 1;
    }
    const double localRate = total / local.seconds;
    const double lineRate = total / line.seconds;
    std::printf(
        "line of %d stations x 16 ports, %d readers each: local files %.2f s (%.0f readers/s), "
        "database %.2f s (%.0f readers/s): the database costs %.1f%% (at most 10%%)\n",
        kStations, readers, local.seconds, localRate, line.seconds, lineRate,
        100.0 * (1.0 - lineRate / localRate));
    std::printf(
        "database: %ld reservations, %.0f a second; a reader waits %.2f ms for its number and "
        "its record (local files: %.2f ms)\n",
        line.reserved, line.reserved / line.seconds, line.waitedUs / 1000.0 / total,
        local.waitedUs / 1000.0 / total);
    return 0;
}
