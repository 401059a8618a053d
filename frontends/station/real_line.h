// The station over this machine's card readers. A reader is the SCSI generic
// units (one per card slot) under one USB device, and its port is that
// device's USB port path. Once its units have stopped arriving for a moment,
// its run starts over the Linux layer with those units as E:, F:, ...; when
// the last unit goes, the reader has left. Readers already attached when the
// station starts are not taken: the port asks for them to be plugged in again,
// so that nothing is programmed that the operator did not just plug in.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "platform/linux/clock.h"
#include "platform/linux/sg_driver.h"
#include "platform/linux/system_paths.h"
#include "station/bench_line.h"
#include "station/hotplug.h"
#include "station/station.h"

namespace usbisp::station {

// The machine's clock, from the station's start.
class RealTime : public StationTime {
  public:
    std::uint64_t NowMs() override;
    LocalTime Local() override { return clock_.Now(); }
    void Sleep(std::uint32_t milliseconds) override { clock_.Wait(milliseconds); }

  private:
    lnx::SystemClock clock_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

struct RealMachineAccess {
    lnx::SgDriver& sg;
    lnx::Clock& clock;
    lnx::SystemPaths paths;
    // How long a reader's units must keep still before its run starts.
    std::uint32_t settleMs = 1500;
};

class RealLine {
  public:
    RealLine(ProductionLog& log, StationConfig config, RealMachineAccess machine);
    ~RealLine();

    // Lines the Linux layer has for standard error (a device it cannot use).
    std::function<void(const std::string&)> complain;

    // Runs until Stop() and the runs under way have ended, or, with
    // `stopAfter`, until that many readers have been handled and have left.
    // `idle` is called at least every `tickMs` on the loop's thread (the
    // board draws and reads keys there).
    RunCounts Run(HotplugSource& source, int stopAfter, const std::function<void()>& idle,
                  int tickMs);
    // From any thread, a signal handler's included (it only writes a byte).
    void Stop();
    Board Snapshot() const { return station_.Snapshot(); }

  private:
    struct Reader {
        std::map<std::string, std::string> units;  // "sg2" -> its SCSI device, "6:0:0:0"
        std::uint64_t settleAt = 0;
        bool present = false;  // attached at the start
        bool taken = false;    // a run started for it
    };

    void Handle(const Uevent& event);
    void AddUnit(const std::string& port, const std::string& unit, const std::string& device);
    void RemoveUnit(const std::string& port, const std::string& unit);
    // After lost events: the ports and readers squared with what sysfs holds.
    void Rescan();
    void StartSettled();
    void Wake();
    void JoinEnded();

    struct Worker {
        std::thread thread;
        std::atomic<bool> ended{false};
    };

    StationConfig config_;
    RealMachineAccess machine_;
    RealTime time_;
    std::unique_ptr<NumberSource> allocator_;
    Station station_;
    std::map<std::string, Reader> readers_;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stopRequested_{false};
    std::mutex runsMutex_;
    std::list<Worker> runs_;
    // Readers whose run started and that have left since.
    int handledLeft_ = 0;
};

}  // namespace usbisp::station
