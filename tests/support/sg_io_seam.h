// The far end of the Linux layer in the tests: the bench behind a stand-in
// for the kernel. Each sg_io_hdr the layer sends is checked (direction,
// lengths, command length, time-out in milliseconds, sense buffer) as the sg
// driver checks it, turned back into the pass-through request a Windows
// program would have sent, and handed to the bench's drive; the bench's
// answer comes back as the kernel would give it (SCSI status, residue, sense
// bytes, a host adapter error for a transport failure). The bench's readers
// stand in a sysfs tree of their own (fake_sysfs.h), each a USB device with
// one unit per letter. The bench's virtual clock is the layer's clock, so
// that a scripted session through the Linux layer gives the transcript it
// gives on the bench.
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
#include "support/fake_sysfs.h"
#include "support/test_support.h"

namespace usbisp::test {

class BenchSgDriver : public lnx::SgDriver {
  public:
    // `devices`: "/dev/sgN" -> the bench's drive letter behind it.
    BenchSgDriver(sim::Bench& bench, std::map<std::string, char> devices)
        : bench_(bench), devices_(std::move(devices)) {}

    // Faults and conditions of a real machine the bench has no word for.
    std::set<std::string> noAccess;  // CheckAccess and Open give -EACCES
    std::set<std::string> missing;   // no such device node: -ENOENT
    // The process lacks CAP_SYS_RAWIO: as sg does, a descriptor opened read
    // only takes INQUIRY and no vendor command (-EPERM); one opened for
    // reading and writing takes anything.
    bool withoutRawio = false;
    int goneFromRequest = 0;  // n > 0: the n-th request and all after find
                              // the device gone (-ENODEV)
    unsigned maxSectors = 0;  // n > 0: a request of more than n x 512 bytes is
                              // refused with -EINVAL, as the block layer does
    // A CHECK CONDITION without sense comes back as usb-storage makes it of a
    // device whose REQUEST SENSE said nothing: DID_ERROR, GOOD status, sense
    // key HARDWARE ERROR.
    bool usbStorageEmptySense = false;
    std::map<std::string, lnx::NodeInfo> nodes;  // what Stat says beyond the sg devices
    std::set<std::string> held;                  // block devices an exclusive open finds busy
    std::vector<std::string> probes;             // the exclusive opens made
    std::vector<std::string> opened;             // the nodes opened

    // Every header the layer sent, as it arrived, and whether the terminal's
    // signals were held while it was with the driver.
    std::vector<sg_io_hdr_t> requests;
    std::vector<std::vector<std::uint8_t>> commands;  // their command blocks
    std::vector<bool> signalsHeld;

    // A node for the bench's drive `letter` (after a replug), or none.
    void Attach(const std::string& device, char letter) { devices_[device] = letter; }
    void Detach(const std::string& device) { devices_.erase(device); }

    int CheckAccess(const std::string& device) override;
    int Open(const std::string& device, bool write) override;
    int Io(int fd, sg_io_hdr_t& io) override;
    void Close(int fd) override;
    std::string GroupOf(const std::string&) override { return "disk"; }
    lnx::NodeInfo Stat(const std::string& path) override;
    int ProbeExclusive(const std::string& blockDevice) override;

    std::size_t openCount() const { return open_.size(); }

  private:
    struct OpenDevice {
        Handle handle;
        bool write;
    };
    bool Gone() const;

    sim::Bench& bench_;
    std::map<std::string, char> devices_;
    std::map<int, OpenDevice> open_;
    int nextFd_ = 3;
};

// The bench's virtual clock: waits advance it without waiting. `onWait`, when
// set, runs at each wait (a test unplugs a reader there).
class BenchClock : public lnx::Clock {
  public:
    explicit BenchClock(sim::Bench& bench) : bench_(bench) {}
    LocalTime Now() override { return bench_.GetLocalTime(); }
    void Wait(std::uint32_t milliseconds) override {
        if (onWait) onWait();
        bench_.Sleep(milliseconds);
    }
    std::function<void()> onWait;

  private:
    sim::Bench& bench_;
};

// The machine a run through the seam reaches; a test stages conditions on it
// before the run.
struct SeamMachine {
    sim::Bench& bench;
    BenchSgDriver& sg;
    BenchClock& clock;
    FakeSysfs& sysfs;
    // The layer finds the readers in sysfs (as E:, F:, ...) rather than being
    // given the bench's letters.
    bool findReaders = false;
    // Standard output fails from the start (a closed pipe).
    bool closedOutput = false;
    // Whenever the layer asks on standard error for the readers to be
    // replugged, the next wait of the clock replugs them (as an operator, or
    // the virtual machine's test, does).
    bool replugWhenAsked = false;
    // Unplugs every reader and plugs it in again: the bench's readers leave
    // ISP mode, and each comes back under a new SCSI host and new sg numbers.
    std::function<void()> Replug;
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
    std::vector<bool> signalsHeld;
    std::vector<std::string> probes;
    std::vector<std::string> opened;  // the nodes the layer opened
};

// Runs `options` (a script, a bench file, a directory) through the Linux
// layer over that bench: the bench's letters become /dev/sg0, /dev/sg1, ...
// in letter order, each reader a USB device at port 1-1, 1-2, ... with one
// unit per letter, each plain disk a SATA disk; the layer gets each letter
// bound to its unit's place. The bench must be a Windows XP machine, as the
// Linux layer reports. `setUp` may stage faults on the machine first.
SeamRun RunThroughSgIo(const script::HeadlessOptions& options,
                       const std::function<void(SeamMachine&)>& setUp = {});

// A transcript of the Linux layer as the bench writes it: without the
// reasons only the Linux layer gives (why an open failed, what the kernel or
// the host adapter said of a request).
std::string AsOnTheBench(const std::string& transcript);

}  // namespace usbisp::test
