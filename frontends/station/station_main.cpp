#include "station/station_main.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <thread>

#include "platform/linux/clock.h"
#include "platform/linux/sg_driver.h"
#include "station/bench_line.h"
#include "station/production_log.h"
#include "station/real_line.h"
#include "station/records_numbers.h"
#include "station/station_options.h"
#ifdef USBISP_HAVE_TUI
#include "station/board_screen.h"
#endif

namespace usbisp::station {

namespace {

constexpr const char* kUsage =
    "usage: usbisp --station [--bench FILE | --real [--readers N]] [--dir DIR] [--log FILE]\n"
    "                        [--verify-only] [--headless] [--trace-io] [--records URL]\n";

#ifdef USBISP_HAVE_TUI
constexpr const char* kRunningNote = " q: take no further reader, end when the runs are over";
constexpr const char* kEndedNote = " the station has ended: q to leave";
constexpr int kTickMs = 100;
#endif

// The real station a termination request stops (the handler writes a byte).
std::atomic<RealLine*> gStoppable{nullptr};

extern "C" void StopOnSignal(int) {
    if (RealLine* line = gStoppable.load()) line->Stop();
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// With --records the numbers come from the line's database, the station
// named there by its machine and directory.
NumberSourceMaker LineNumbers(const StationOptions& options) {
    if (options.records.empty()) return {};
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    std::error_code ignored;
    const std::string station =
        std::string(host) + ":" + std::filesystem::absolute(options.directory, ignored).string();
    return [url = options.records, station](ProductionLog& log, StationTime& time) {
        return std::make_unique<DbNumbers>(log, time, url, station);
    };
}

bool WantBoard(const StationOptions& options) {
#ifdef USBISP_HAVE_TUI
    return !options.headless && isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
#else
    (void)options;
    return false;
#endif
}

int RunOnBench(const StationOptions& options, std::ostream& out, std::ostream& err) {
    std::string error;
    auto bench = LoadStationBench(options.benchPath, error);
    if (!bench) {
        err << error << "\n";
        return 2;
    }
    ProductionLog log;
    if (!log.Open(options.logPath, error)) {
        err << "usbisp: " << error << "\n";
        return 2;
    }
    StationConfig config;
    config.directory = options.directory;
    config.verifyOnly = options.verifyOnly;
    config.traceIo = options.traceIo;
    config.numbers = LineNumbers(options);
    if (!WantBoard(options)) {
        config.transcript = [&out](const std::string& line) { out << line << '\n'; };
        BenchLine line(*bench, log, std::move(config));
        line.Run();
        out.flush();
        return 0;
    }
#ifdef USBISP_HAVE_TUI
    BoardScreen screen;
    if (!screen.Open(error)) {
        err << "usbisp: " << error << "\n";
        return 2;
    }
    BenchLine line(*bench, log, std::move(config));
    std::atomic<bool> ended{false};
    RunCounts counts;
    std::thread runner([&] {
        counts = line.Run();
        ended = true;
    });
    while (!ended) {
        screen.Draw(line.Snapshot(), options.verifyOnly, kRunningNote);
        if (screen.WaitForStop(kTickMs)) line.Stop();
    }
    runner.join();
    do {
        screen.Draw(line.Snapshot(), options.verifyOnly, kEndedNote);
    } while (!screen.WaitForStop(-1));
    screen.Close();
    out << CountersText(counts) << "\n";
#endif
    return 0;
}

int RunOnReal(const StationOptions& options, std::ostream& out, std::ostream& err) {
    std::string error;
    KernelHotplug hotplug;
    if (!hotplug.Open(error)) {
        err << "usbisp: " << error << "\n";
        return 2;
    }
    ProductionLog log;
    if (!log.Open(options.logPath, error)) {
        err << "usbisp: " << error << "\n";
        return 2;
    }
    std::mutex errMutex;
    std::vector<std::string> held;
    const bool board = WantBoard(options);
    StationConfig config;
    config.directory = options.directory;
    config.verifyOnly = options.verifyOnly;
    config.traceIo = options.traceIo;
    config.numbers = LineNumbers(options);
    if (!board)
        config.transcript = [&out](const std::string& line) { out << line << '\n' << std::flush; };
    lnx::KernelSgDriver sg;
    lnx::SystemClock clock;
    RealLine line(log, std::move(config), RealMachineAccess{sg, clock, {}});
    // What the Linux layer says about a device waits, under the board, until
    // the terminal is given back.
    line.complain = [&](const std::string& text) {
        std::lock_guard<std::mutex> lock(errMutex);
        if (board) {
            held.push_back(text);
        } else {
            err << text << "\n" << std::flush;
        }
    };
    RunCounts counts;
    if (!board) {
        gStoppable = &line;
        struct sigaction action {};
        action.sa_handler = StopOnSignal;
        sigemptyset(&action.sa_mask);
        struct sigaction oldInt {
        }, oldTerm{};
        ::sigaction(SIGINT, &action, &oldInt);
        ::sigaction(SIGTERM, &action, &oldTerm);
        counts = line.Run(hotplug, options.readers, {}, 1000);
        ::sigaction(SIGINT, &oldInt, nullptr);
        ::sigaction(SIGTERM, &oldTerm, nullptr);
        gStoppable = nullptr;
        out.flush();
        return 0;
    }
#ifdef USBISP_HAVE_TUI
    BoardScreen screen;
    if (!screen.Open(error)) {
        err << "usbisp: " << error << "\n";
        return 2;
    }
    counts = line.Run(
        hotplug, options.readers,
        [&] {
            screen.Draw(line.Snapshot(), options.verifyOnly, kRunningNote);
            if (screen.WaitForStop(0)) line.Stop();
        },
        kTickMs);
    screen.Close();
    for (const std::string& text : held) err << text << "\n";
    out << CountersText(counts) << "\n";
#endif
    return 0;
}

}  // namespace

int StationMain(int argc, char** argv, std::ostream& out, std::ostream& err) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const auto options = ParseStationOptions(args, error);
    if (!options) {
        err << "usbisp: " << error << "\n" << kUsage;
        return 2;
    }
    if (!IsDirectory(options->directory)) {
        err << "usbisp: --dir " << options->directory << ": not a directory\n";
        return 2;
    }
    return options->real ? RunOnReal(*options, out, err) : RunOnBench(*options, out, err);
}

}  // namespace usbisp::station
