// ASPI for Win32 as a recording answered it: the library loads and has its
// entry points as it did, GetASPI32SupportInfo gives the recorded answers,
// and each request, which must be the next one recorded (the same block but
// for its addresses, the same data going out), returns what it returned and
// completes as it completed: its data, status bytes and sense into the
// block, then the routine, on a thread of the bench's own. A completion
// that came after the program had begun n waits arrives during its n-th
// wait, one that came before it looked arrives before the submission
// returns, and a request the recording holds no completion for never
// completes (unless it was answered at once). A call the recording has no
// answer for throws ReplayMismatch.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/recording.h"
#include "platform/sim/bench_aspi.h"
#include "platform/sim/worker_thread.h"

namespace usbisp::sim {

class RecordedAspi : public BenchAspi {
  public:
    // `name` is the recording's file, for the errors; `trace` writes an io
    // line.
    RecordedAspi(std::shared_ptr<const rec::Recording> recording, std::string name,
                 std::function<void(const std::string&)> trace);

    // Whether the recorded session loaded ASPI.
    static bool Records(const rec::Recording& recording);

    EntryPoint Entry(const std::string& name) override;
    void DeliverDue() override;
    std::size_t Posted() const override;
    bool CallFails(const std::string& name) override;

    std::uint32_t GetSupportInfo();
    std::uint32_t SendCommand(aspi::SrbExecScsiCmd* block);

  private:
    struct Pending {
        aspi::SrbExecScsiCmd* block = nullptr;
        const rec::Event* completion = nullptr;
        std::uint32_t waitsLeft = 0;
    };

    // The next recorded event of `call` (of `path`, for the entry points);
    // throws ReplayMismatch naming `asked` when there is none.
    const rec::Event& Next(rec::Call call, const std::string& path, const std::string& asked);
    [[noreturn]] void Mismatch(const std::string& asked, const std::string& nearest);
    std::string EventNumber(const rec::Event& event) const;
    void Deliver(aspi::SrbExecScsiCmd& b, const rec::Event& completion);

    std::shared_ptr<const rec::Recording> recording_;
    std::string name_;
    std::function<void(const std::string&)> trace_;
    // The recorded events of each call (and entry point), and how many of
    // them the replay has used.
    std::map<std::string, std::vector<const rec::Event*>> recorded_;
    std::map<std::string, std::size_t> used_;
    std::map<std::uint32_t, const rec::Event*> completions_;  // by request
    std::vector<Pending> pending_;
    std::size_t hung_ = 0;
    std::size_t asked_ = 0;
    bool failed_ = false;
    WorkerThread worker_;
};

}  // namespace usbisp::sim
