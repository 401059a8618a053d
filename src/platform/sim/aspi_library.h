// The bench's ASPI for Win32 ("WNASPI32"): host adapters with the readers at
// their [adapter, target], and the two entry points. A request block is
// checked and carried out when it is submitted; its completion (the data, the
// status, the completion routine) falls due `latency` ms later on the bench's
// clock (a reader's `delays` may name another wait for one request) and is
// delivered on the bench's own thread while the program sleeps (latency 0:
// before the submission returns). A target without a reader answers
// SS_NO_DEVICE, an adapter past the last SS_INVALID_HA, a malformed block
// SS_INVALID_SRB: through the routine, or returned at once as
// `immediateFailures` says. A request the reader refuses, or that `failures`
// or `scsiStatus` name, completes with SS_ERR; one that `hangs` names never
// completes.
//
// In the asynchronous mode (`aspiAsync`, with a real-time clock) a thread of
// the library delivers each completion at its due time and nobody waits for
// it: the routine's writes reach the program with no ordering but its own,
// as on Windows.
//
// A request is posted from its submission until its routine has run (for a
// hung one, for good); the bench refuses to unload the library under posted
// requests, as Windows would go on to run code that is gone.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "emulator/controller.h"
#include "platform/aspi.h"
#include "platform/platform.h"
#include "platform/sim/bench_aspi.h"
#include "platform/sim/bench_config.h"
#include "platform/sim/timed_thread.h"
#include "platform/sim/worker_thread.h"

namespace usbisp::sim {

class AspiLibrary : public BenchAspi {
  public:
    // `now` gives the bench's clock in ms; `trace` writes an io line.
    AspiLibrary(const BenchConfig& config, std::vector<std::shared_ptr<ReaderController>> readers,
                std::function<std::uint64_t()> now, std::function<void(const std::string&)> trace);

    // The entry point of this name, carrying this library; none when the
    // bench says the library lacks it.
    EntryPoint Entry(const std::string& name) override;

    std::uint32_t GetSupportInfo();
    std::uint32_t SendCommand(aspi::SrbExecScsiCmd* block);
    // Delivers every completion that has fallen due, in the order of their
    // due times (those due together in the order of the requests). The
    // asynchronous mode delivers on its own.
    void DeliverDue() override;
    // Requests posted whose routine has not run to its end.
    std::size_t Posted() const override;
    // Whether `aspi.failures` names this call ("LoadLibrary",
    // "GetASPI32SupportInfo"), counted per name over the run.
    bool CallFails(const std::string& name) override;

  private:
    struct Completion {
        std::uint64_t due = 0;
        std::uint64_t order = 0;
        aspi::SrbExecScsiCmd* block = nullptr;
        std::uint8_t status = aspi::kPending;
        std::uint8_t targetStatus = 0;
        std::vector<std::uint8_t> data;  // data in, copied into the buffer
    };

    // Checks the block and carries it out; the completion it will give.
    Completion Carry(aspi::SrbExecScsiCmd& block, std::string& details, std::string& reason);
    std::shared_ptr<ReaderController> ReaderAt(std::uint8_t adapter, std::uint8_t target) const;
    // The exchange of `aspi.swap`, once its request count is reached.
    void SwapWhenDue();

    const BenchConfig& config_;
    std::vector<std::shared_ptr<ReaderController>> readers_;
    std::function<std::uint64_t()> now_;
    std::function<void(const std::string&)> trace_;
    // Each reader's [host adapter, target] now (-1: none).
    std::vector<std::pair<int, int>> addresses_;
    std::map<std::string, int> calls_;
    int requests_ = 0;
    std::uint64_t order_ = 0;
    std::size_t hung_ = 0;
    std::vector<Completion> pending_;
    WorkerThread worker_;
    std::unique_ptr<TimedThread> async_;
};

}  // namespace usbisp::sim
