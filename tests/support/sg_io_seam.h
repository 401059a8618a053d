// The far end of the Linux layer's SG_IO seam in the tests: the bench. Each
// sg_io_hdr the layer sends is checked (direction, lengths, command length,
// time-out in milliseconds, sense buffer), turned back into the pass-through
// request a Windows program would have sent, and handed to the bench's drive;
// the bench's answer comes back as the kernel would give it (SCSI status,
// residue, sense bytes, a host adapter error for a transport failure). The
// bench's virtual clock is the layer's clock, so that a scripted session
// through the Linux layer gives the transcript it gives on the bench.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/linux/clock.h"
#include "platform/linux/sg_driver.h"
#include "platform/sim/bench.h"
#include "script/headless.h"

namespace usbisp::test {

class BenchSgDriver : public lnx::SgDriver {
  public:
    // `devices`: "/dev/sgN" -> the bench's drive letter behind it.
    BenchSgDriver(sim::Bench& bench, std::map<std::string, char> devices)
        : bench_(bench), devices_(std::move(devices)) {}

    // Faults of a real machine the bench has no word for.
    std::set<std::string> noAccess;      // CheckAccess and Open give -EACCES
    std::set<std::string> missing;       // no such device node: -ENOENT
    bool vendorCommandsRefused = false;  // SG_IO of anything but INQUIRY gives -EPERM
    int goneFromRequest = 0;             // n > 0: the n-th request and all after
                                         // find the device gone (-ENODEV)

    // Every header the layer sent, as it arrived.
    std::vector<sg_io_hdr_t> requests;
    std::vector<std::vector<std::uint8_t>> commands;  // their command blocks

    int CheckAccess(const std::string& device) override;
    int Open(const std::string& device, bool write) override;
    int Io(int fd, sg_io_hdr_t& io) override;
    void Close(int fd) override;
    std::string GroupOf(const std::string&) override { return "disk"; }

    std::size_t openCount() const { return open_.size(); }

  private:
    bool Gone() const;

    sim::Bench& bench_;
    std::map<std::string, char> devices_;
    std::map<int, Handle> open_;
    int nextFd_ = 3;
};

// The bench's virtual clock: waits advance it without waiting.
class BenchClock : public lnx::Clock {
  public:
    explicit BenchClock(sim::Bench& bench) : bench_(bench) {}
    LocalTime Now() override { return bench_.GetLocalTime(); }
    void Wait(std::uint32_t milliseconds) override { bench_.Sleep(milliseconds); }

  private:
    sim::Bench& bench_;
};

struct SeamRun {
    int exitCode = -1;
    std::string transcript;
    std::string errors;
    // What a run that went to its end left open, on the Linux layer and on
    // the bench behind it.
    std::size_t handlesLeft = 0;
    std::size_t benchHandlesLeft = 0;
    // The headers that reached the seam (their pointers are stale) and their
    // command blocks.
    std::vector<sg_io_hdr_t> requests;
    std::vector<std::vector<std::uint8_t>> commands;
};

// Runs `options` (a script, a bench file, a directory) through the Linux
// layer over that bench: every drive letter of the bench becomes /dev/sg0,
// /dev/sg1, ... in letter order. The bench must be a Windows XP machine, as
// the Linux layer reports. `setUp` may stage faults on the driver first.
SeamRun RunThroughSgIo(const script::HeadlessOptions& options,
                       const std::function<void(BenchSgDriver&)>& setUp = {});

}  // namespace usbisp::test
