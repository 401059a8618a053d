// The station over the bench's plug timeline: readers arrive and leave on the
// bench's clock as bench_timeline.h says, each run on a reader of its own
// (bench_reader.h), and the run ends once the timeline is through and every
// reader has left.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "station/bench_timeline.h"
#include "station/station.h"
#include "station/virtual_time.h"

namespace usbisp::station {

struct StationConfig {
    std::string directory;
    bool verifyOnly = false;
    bool traceIo = false;
    // Take SERIAL.TXT's counter even when the log accounts for it already.
    bool takeCounter = false;
    TranscriptSink transcript;
    std::function<void()> changed;
    // Where the numbers come from; none: SERIAL.TXT.
    NumberSourceMaker numbers;
};

class BenchLine {
  public:
    BenchLine(const StationBench& bench, ProductionLog& log, StationConfig config);

    // Runs the timeline to its end: the station's end line, the log's
    // summary.
    RunCounts Run();
    // No further reader arrives (from any thread); the runs under way end.
    void Stop();
    Board Snapshot() const { return station_.Snapshot(); }

  private:
    struct OnPort {
        std::shared_ptr<std::atomic<bool>> unplugged;
        bool timedUnplug = false;
    };

    void PlugIn(int port, int kind, std::optional<std::uint64_t> unplugAt);
    void PlugFromLine(int port);
    void Unplug(int port, const std::shared_ptr<std::atomic<bool>>& reader);
    void Finished(int port, bool left);
    // The port is free: the next reader waiting for it, or of the line.
    void Next(int port);

    const StationBench& bench_;
    StationConfig config_;
    VirtualTime time_;
    std::unique_ptr<NumberSource> allocator_;
    Station station_;
    std::atomic<bool> stopping_{false};
    // Touched only by the timeline's actions and the runs, which the clock
    // lets run one at a time.
    std::map<int, OnPort> onPort_;
    std::map<int, std::deque<Plug>> waiting_;
    int lineLeft_ = 0;
    std::size_t lineNext_ = 0;
};

}  // namespace usbisp::station
