#include "station/real_line.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/linux/disk_use.h"
#include "platform/linux/drive_map.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/scsi_nodes.h"

namespace usbisp::station {

namespace {

constexpr const char* kPresentAtStart =
    "attached before the station started: unplug it and plug it in again";
constexpr const char* kNoDisk = "no unit of it is a disk";
constexpr const char* kInUse = "in use, left alone: ";
constexpr const char* kEventsLost =
    "usbisp: hotplug events were lost (the kernel's buffer overflowed): the readers attached "
    "are read again from sysfs";

// A reader's port: the name of its USB device's directory ("1-1.2").
std::string PortOf(const lnx::ScsiNode& node) {
    return std::filesystem::path(node.reader).filename().string();
}

}  // namespace

std::uint64_t RealTime::NowMs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - start_)
                                          .count());
}

RealLine::RealLine(ProductionLog& log, StationConfig config, RealMachineAccess machine)
    : config_(std::move(config)),
      machine_(std::move(machine)),
      allocator_(config_.verifyOnly ? nullptr
                 : config_.numbers
                     ? config_.numbers(log, time_)
                     : std::make_unique<SerialAllocator>(log, time_, config_.takeCounter)),
      station_(StationSetup{time_,
                            log,
                            allocator_.get(),
                            config_.transcript,
                            [this](std::function<void()> body) {
                                std::lock_guard<std::mutex> lock(runsMutex_);
                                runs_.emplace_back();
                                Worker& run = runs_.back();
                                run.thread = std::thread([this, &run, body = std::move(body)] {
                                    body();
                                    run.ended = true;
                                    Wake();
                                });
                            },
                            {},
                            config_.changed}) {
    if (::pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
}

RealLine::~RealLine() {
    // Run() joins every run before it returns; a line never run has none.
    for (Worker& run : runs_)
        if (run.thread.joinable()) run.thread.join();
    if (wake_[0] >= 0) ::close(wake_[0]);
    if (wake_[1] >= 0) ::close(wake_[1]);
}

void RealLine::Wake() {
    if (wake_[1] < 0) return;
    const char byte = 1;
    ssize_t written = ::write(wake_[1], &byte, 1);
    (void)written;
}

void RealLine::Stop() {
    stopRequested_ = true;
    Wake();
}

void RealLine::JoinEnded() {
    std::list<Worker> ended;
    {
        std::lock_guard<std::mutex> lock(runsMutex_);
        for (auto it = runs_.begin(); it != runs_.end();) {
            auto next = std::next(it);
            if (it->ended) ended.splice(ended.end(), runs_, it);
            it = next;
        }
    }
    for (Worker& run : ended) run.thread.join();
}

void RealLine::Handle(const Uevent& event) {
    if (event.subsystem != "scsi_generic" || event.devname.empty()) return;
    const std::string port = UsbPortOf(event.devpath);
    if (port.empty()) return;
    const std::string unit = event.devname.substr(event.devname.find_last_of('/') + 1);
    if (event.action == "add") AddUnit(port, unit, ScsiDeviceOf(event.devpath));
    if (event.action == "remove") RemoveUnit(port, unit);
}

void RealLine::AddUnit(const std::string& port, const std::string& unit,
                       const std::string& device) {
    Reader& reader = readers_[port];
    if (reader.units.empty()) reader = Reader{};
    reader.units[unit] = device;
    // A further unit of the same reader puts its start off again.
    reader.settleAt = time_.NowMs() + machine_.settleMs;
    station_.AddPort(port);
}

void RealLine::RemoveUnit(const std::string& port, const std::string& unit) {
    auto it = readers_.find(port);
    if (it == readers_.end() || !it->second.units.erase(unit) || !it->second.units.empty()) return;
    if (it->second.taken) ++handledLeft_;
    readers_.erase(it);
    station_.Leave(port);
}

void RealLine::Rescan() {
    std::map<std::string, std::map<std::string, std::string>> attached;  // port -> units
    for (const lnx::ScsiNode& node : lnx::ScanScsiGeneric(machine_.paths).nodes)
        if (node.usb)
            attached[PortOf(node)]["sg" + std::to_string(node.number)] =
                std::filesystem::path(node.device).filename().string();
    // Units gone, or whose name another reader's unit has taken since. A
    // reader that is still there must never look new: it would be programmed
    // again.
    std::vector<std::pair<std::string, std::string>> gone;
    for (const auto& [port, reader] : readers_)
        for (const auto& [unit, device] : reader.units) {
            auto now = attached.find(port);
            if (now == attached.end() || !now->second.count(unit) ||
                (!device.empty() && now->second[unit] != device))
                gone.emplace_back(port, unit);
        }
    for (const auto& [port, unit] : gone) RemoveUnit(port, unit);
    for (const auto& [port, units] : attached)
        for (const auto& [unit, device] : units) {
            auto known = readers_.find(port);
            if (known == readers_.end() || !known->second.units.count(unit))
                AddUnit(port, unit, device);
        }
}

void RealLine::StartSettled() {
    const std::uint64_t now = time_.NowMs();
    for (auto& [port, reader] : readers_) {
        if (reader.units.empty() || reader.taken || reader.present || reader.settleAt == 0 ||
            now < reader.settleAt || stopRequested_)
            continue;
        // The port still shows a run whose reader was pulled out early: the
        // new reader waits for its end.
        if (!station_.Free(port)) {
            reader.settleAt = now + machine_.settleMs;
            continue;
        }
        reader.settleAt = 0;
        // The reader's disks as the Linux layer sees them, in sg order.
        std::vector<lnx::ScsiNode> disks;
        for (lnx::ScsiNode& node : lnx::ScanScsiGeneric(machine_.paths).nodes)
            if (node.usb && node.disk && reader.units.count("sg" + std::to_string(node.number)))
                disks.push_back(std::move(node));
        std::string why = disks.empty() ? kNoDisk : "";
        if (why.empty()) {
            const std::string use = lnx::ReaderInUse(machine_.paths, machine_.sg, disks[0].reader);
            if (!use.empty()) why = kInUse + use;
        }
        if (!why.empty()) {
            reader.present = true;  // not taken until it is plugged in again
            station_.Refuse(port, why);
            continue;
        }
        std::vector<lnx::LinuxDrive> drives;
        for (const lnx::ScsiNode& disk : disks)
            if (drives.size() < lnx::kReaderLetters)
                drives.push_back({static_cast<char>(lnx::kFirstReaderLetter + drives.size()),
                                  disk.node, disk.place, disk.readerName});
        PlatformFactory factory = [this, drives](TranscriptSink events) {
            lnx::LinuxOptions options;
            options.drives = drives;
            options.paths = machine_.paths;
            options.directory = config_.directory;
            options.events = std::move(events);
            options.traceIo = config_.traceIo;
            options.complain = complain;
            return std::make_unique<lnx::LinuxPlatform>(std::move(options), machine_.sg,
                                                        machine_.clock);
        };
        reader.taken = station_.Arrive(port, std::move(factory));
    }
}

RunCounts RealLine::Run(HotplugSource& source, int stopAfter, const std::function<void()>& idle,
                        int tickMs) {
    {
        lnx::LinuxOptions files;
        files.directory = config_.directory;
        files.complain = complain;
        lnx::LinuxPlatform platform(std::move(files), machine_.sg, machine_.clock);
        if (!station_.Start(platform)) return station_.Finish();
    }
    const lnx::ScsiScan scan = lnx::ScanScsiGeneric(machine_.paths);
    if (!scan.driverLoaded && complain) complain(lnx::kNoSgDriver);
    for (const lnx::ScsiNode& node : scan.nodes) {
        if (!node.usb) continue;
        const std::string port = PortOf(node);
        Reader& reader = readers_[port];
        reader.units["sg" + std::to_string(node.number)] =
            std::filesystem::path(node.device).filename().string();
        reader.present = true;
        station_.AddPort(port);
    }
    for (const auto& [port, reader] : readers_) station_.Refuse(port, kPresentAtStart);

    bool stopping = false;
    for (;;) {
        if (stopRequested_ && !stopping) {
            stopping = true;
            station_.Stop();
        }
        JoinEnded();
        if (stopping && !station_.Busy()) break;
        if (stopAfter > 0 && handledLeft_ >= stopAfter && !station_.Busy()) break;

        int timeout = tickMs;
        const std::uint64_t now = time_.NowMs();
        for (const auto& [port, reader] : readers_)
            if (reader.settleAt != 0 && !reader.taken && !reader.present && !stopping)
                timeout = std::min<int>(
                    timeout, reader.settleAt > now ? static_cast<int>(reader.settleAt - now) : 0);
        pollfd fds[2] = {{source.fd(), POLLIN, 0}, {wake_[0], POLLIN, 0}};
        ::poll(fds, 2, timeout);
        if (fds[1].revents & POLLIN) {
            char drain[64];
            while (::read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
        if (fds[0].revents & POLLIN) {
            const HotplugBatch batch = source.Read();
            // The events read after an overflow may be older than those
            // lost: sysfs, read once they are all drained, is the truth.
            if (batch.lost) {
                Rescan();
                if (complain) complain(kEventsLost);
            } else {
                for (const Uevent& event : batch.events) Handle(event);
            }
        }
        StartSettled();
        if (idle) idle();
    }
    {
        std::lock_guard<std::mutex> lock(runsMutex_);
        for (Worker& run : runs_) run.thread.join();
        runs_.clear();
    }
    return station_.Finish();
}

}  // namespace usbisp::station
