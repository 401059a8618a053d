#include "station/station_main.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <thread>

#include "platform/linux/clock.h"
#include "platform/linux/sg_driver.h"
#include "station/bench_line.h"
#include "station/exit_status.h"
#include "station/production_log.h"
#include "station/real_line.h"
#include "station/records_numbers.h"
#include "station/station_options.h"
#include "station/stop_signals.h"
#ifdef USBISP_HAVE_TUI
#include "station/board_screen.h"
#endif

namespace usbisp::station {

namespace {

constexpr const char* kUsage =
    "usage: usbisp --station [--bench FILE | --real [--readers N]] [--dir DIR] [--log FILE]\n"
    "                        [--verify-only] [--take-counter] [--headless] [--trace-io]\n"
    "                        [--records URL]\n";
constexpr const char* kStopping =
    "usbisp: stopping: no further reader is taken, the runs under way go to their end (a "
    "second signal ends the station at once)";

#ifdef USBISP_HAVE_TUI
constexpr const char* kRunningNote = " q: take no further reader, end when the runs are over";
constexpr const char* kEndedNote = " the station has ended: q to leave";
constexpr int kTickMs = 100;
#endif

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

StationConfig ConfigOf(const StationOptions& options) {
    StationConfig config;
    config.directory = options.directory;
    config.verifyOnly = options.verifyOnly;
    config.traceIo = options.traceIo;
    config.takeCounter = options.takeCounter;
    config.numbers = LineNumbers(options);
    return config;
}

// The exit status; a station that refused to start says why on standard
// error too (the board's terminal shows no transcript).
int Ended(const Board& end, std::ostream& err) {
    if (end.counts.refused) err << "usbisp: " << end.refusal << "\n";
    return EndStatus(end);
}

// Standard error, shared by the runs' threads and the signals' one.
struct ErrorLines {
    std::ostream& err;
    std::mutex mutex;
    void Say(const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex);
        err << text << "\n" << std::flush;
    }
};

int RunOnBench(const StationOptions& options, std::ostream& out, std::ostream& err) {
    std::string error;
    auto bench = LoadStationBench(options.benchPath, error);
    if (!bench) {
        err << error << "\n";
        return kExitUsage;
    }
    ProductionLog log;
    if (!log.Open(options.logPath, error)) {
        err << "usbisp: " << error << "\n";
        return kExitRefused;
    }
    StationConfig config = ConfigOf(options);
    if (!WantBoard(options)) {
        ErrorLines errors{err, {}};
        config.transcript = [&out](const std::string& line) { out << line << '\n'; };
        BenchLine line(*bench, log, std::move(config));
        StopSignals signals([&] {
            line.Stop();
            errors.Say(kStopping);
        });
        line.Run();
        out.flush();
        return Ended(line.Snapshot(), err);
    }
#ifdef USBISP_HAVE_TUI
    BoardScreen screen;
    if (!screen.Open(error)) {
        err << "usbisp: " << error << "\n";
        return kExitRefused;
    }
    BenchLine line(*bench, log, std::move(config));
    StopSignals signals([&] { line.Stop(); });
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
    // A station the operator stopped leaves once its runs are over; one whose
    // timeline ran out stays in sight until q.
    for (bool leave = line.Snapshot().stopping; !leave;) {
        screen.Draw(line.Snapshot(), options.verifyOnly, kEndedNote);
        leave = screen.WaitForStop(kTickMs) || signals.first() != 0;
    }
    screen.Close();
    out << CountersText(counts) << "\n";
    return Ended(line.Snapshot(), err);
#else
    return kExitUsage;
#endif
}

int RunOnReal(const StationOptions& options, std::ostream& out, std::ostream& err) {
    std::string error;
    KernelHotplug hotplug;
    if (!hotplug.Open(error)) {
        err << "usbisp: " << error << "\n";
        return kExitRefused;
    }
    ProductionLog log;
    if (!log.Open(options.logPath, error)) {
        err << "usbisp: " << error << "\n";
        return kExitRefused;
    }
    ErrorLines errors{err, {}};
    const bool board = WantBoard(options);
    StationConfig config = ConfigOf(options);
    if (!board)
        config.transcript = [&out](const std::string& line) { out << line << '\n' << std::flush; };
    lnx::KernelSgDriver sg;
    lnx::SystemClock clock;
    RealLine line(log, std::move(config), RealMachineAccess{sg, clock, {}});
    if (!board) {
        line.complain = [&](const std::string& text) { errors.Say(text); };
        StopSignals signals([&] {
            line.Stop();
            errors.Say(kStopping);
        });
        line.Run(hotplug, options.readers, {}, 1000);
        out.flush();
        return Ended(line.Snapshot(), err);
    }
#ifdef USBISP_HAVE_TUI
    // What the Linux layer says about a device shows on the board as it
    // comes, and goes to standard error once the terminal is given back.
    WarningList warnings;
    line.complain = [&](const std::string& text) { warnings.Add(text); };
    BoardScreen screen;
    if (!screen.Open(error)) {
        err << "usbisp: " << error << "\n";
        return kExitRefused;
    }
    StopSignals signals([&] { line.Stop(); });
    const RunCounts counts = line.Run(
        hotplug, options.readers,
        [&] {
            screen.Draw(line.Snapshot(), options.verifyOnly, kRunningNote, &warnings);
            if (screen.WaitForStop(0)) line.Stop();
        },
        kTickMs);
    screen.Close();
    for (const std::string& text : warnings.All()) err << text << "\n";
    out << CountersText(counts) << "\n";
    return Ended(line.Snapshot(), err);
#else
    return kExitUsage;
#endif
}

}  // namespace

int StationMain(int argc, char** argv, std::ostream& out, std::ostream& err) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const auto options = ParseStationOptions(args, error);
    if (!options) {
        err << "usbisp: " << error << "\n" << kUsage;
        return kExitUsage;
    }
    if (!IsDirectory(options->directory)) {
        err << "usbisp: --dir " << options->directory << ": not a directory\n";
        return kExitUsage;
    }
    return options->real ? RunOnReal(*options, out, err) : RunOnBench(*options, out, err);
}

}  // namespace usbisp::station
