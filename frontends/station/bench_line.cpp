#include "station/bench_line.h"

#include "platform/sim/bench.h"
#include "station/bench_reader.h"

namespace usbisp::station {

namespace {

std::string PortName(int port) {
    return std::to_string(port);
}

}  // namespace

BenchLine::BenchLine(const StationBench& bench, ProductionLog& log, StationConfig config)
    : bench_(bench),
      config_(std::move(config)),
      time_(bench.start, bench.realtime),
      allocator_(config_.verifyOnly ? nullptr
                 : config_.numbers
                     ? config_.numbers(log, time_)
                     : std::make_unique<SerialAllocator>(log, time_, config_.takeCounter)),
      station_(StationSetup{
          time_, log, allocator_.get(), config_.transcript,
          [this](std::function<void()> run) { time_.Spawn(std::move(run)); },
          [this](const std::string& port, bool left) { Finished(std::stoi(port), left); },
          config_.changed}),
      lineLeft_(bench.lineReaders) {}

void BenchLine::Stop() {
    stopping_ = true;
    station_.Stop();
}

void BenchLine::PlugIn(int port, int kind, std::optional<std::uint64_t> unplugAt) {
    if (stopping_) return;
    if (!station_.Free(PortName(port))) {
        waiting_[port].push_back(Plug{time_.NowMs(), port, kind, unplugAt});
        return;
    }
    auto unplugged = std::make_shared<std::atomic<bool>>(false);
    sim::BenchConfig machine = bench_.kinds[static_cast<std::size_t>(kind - 1)];
    PlatformFactory factory = [this, machine, unplugged](TranscriptSink events) {
        sim::BenchConfig config = machine;
        config.clock = time_.Local();
        config.realtime = false;
        return std::make_unique<BenchReader>(std::move(config), config_.directory,
                                             std::move(events), config_.traceIo, time_, unplugged);
    };
    if (!station_.Arrive(PortName(port), std::move(factory))) return;
    onPort_[port] = OnPort{unplugged, unplugAt.has_value()};
    if (unplugAt) time_.At(*unplugAt, [this, port, unplugged] { Unplug(port, unplugged); });
}

void BenchLine::PlugFromLine(int port) {
    if (stopping_ || lineLeft_ == 0 || !station_.Free(PortName(port))) return;
    --lineLeft_;
    const int kind = bench_.lineKinds[lineNext_++ % bench_.lineKinds.size()];
    PlugIn(port, kind, std::nullopt);
}

void BenchLine::Unplug(int port, const std::shared_ptr<std::atomic<bool>>& reader) {
    auto it = onPort_.find(port);
    if (it == onPort_.end() || it->second.unplugged != reader) return;
    reader->store(true);
    onPort_.erase(it);
    station_.Leave(PortName(port));
    // A run cut short by the unplug frees the port when it ends.
    if (station_.Free(PortName(port))) Next(port);
}

void BenchLine::Finished(int port, bool left) {
    const std::uint64_t now = time_.NowMs();
    if (left) {
        time_.At(now, [this, port] { Next(port); });
        return;
    }
    auto it = onPort_.find(port);
    if (it == onPort_.end() || it->second.timedUnplug) return;
    auto reader = it->second.unplugged;
    time_.At(now + bench_.handling, [this, port, reader] { Unplug(port, reader); });
}

void BenchLine::Next(int port) {
    if (stopping_) return;
    auto& waiting = waiting_[port];
    if (!waiting.empty()) {
        const Plug plug = waiting.front();
        waiting.pop_front();
        PlugIn(port, plug.kind, plug.unplug);
        return;
    }
    if (lineLeft_ > 0)
        time_.At(time_.NowMs() + bench_.handling, [this, port] { PlugFromLine(port); });
}

RunCounts BenchLine::Run() {
    // The station's own files (SERIAL.TXT at its start) through a machine
    // without readers.
    sim::BenchConfig filesMachine = bench_.kinds.front();
    filesMachine.readers.clear();
    sim::Bench files(std::move(filesMachine), config_.directory, {}, false);
    if (!station_.Start(files)) return station_.Finish();
    for (int port = 1; port <= bench_.ports; ++port) station_.AddPort(PortName(port));
    for (const Plug& plug : bench_.plugs)
        time_.At(plug.at, [this, plug] { PlugIn(plug.port, plug.kind, plug.unplug); });
    if (lineLeft_ > 0)
        for (int port = 1; port <= bench_.ports; ++port)
            time_.At(0, [this, port] { PlugFromLine(port); });
    time_.Run();
    return station_.Finish();
}

}  // namespace usbisp::station
