// An emulated card reader: one USB device with its controller, and one drive
// (unit) per letter that "\\.\E:" opens. The controller answers the vendor
// commands of the pass-through as a sound controller does, except where the
// reader's `failures`, `scsiStatus` and `answers` keys say otherwise.
//
// A sound controller answers INQUIRY in every state and ReadIdentity (and the
// two block reads) except in ISP mode; after IspJump it is in ISP mode until it
// is replugged and reports 0x9C; IspWrite stores the payload (the exact byte
// count of the command) as its firmware and reports 0xA5; IspVerify reports
// 0x5A when the payload equals the firmware, else 0x33; outside ISP mode both
// fail. A status read reports what the last command left (`answers` may
// replace that byte) and then has nothing to report (0x00). The 0xFF commands
// are carried by the kernel driver and answered only while it is installed.
//
// Request counting: every well-formed request of a named operation counts,
// per reader, over the whole run. A request named in `failures` fails in
// transport and nothing takes effect; one named in `scsiStatus` completes in
// transport with that status, moves no data and takes no effect.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/bench_config.h"
#include "platform/sim/reader_pass_through.h"
#include "platform/sim/sim_device.h"

namespace usbisp::sim {

// What the reader sees of the machine it is plugged into.
struct ReaderEnvironment {
    bool kernelDriverInstalled = false;  // "TAVDRV.SYS" carries the 0xFF commands
    std::size_t readerCount = 0;
};

class ReaderController : public SimReader {
  public:
    ReaderController(ReaderConfig config, ReaderEnvironment environment);

    const ReaderConfig& config() const { return config_; }
    bool ispMode() const { return ispMode_; }
    std::size_t unitCount() const { return config_.letters.size(); }

    // A unit's drive is opened; false when `failures` names this open.
    bool OpenUnit();
    // A DeviceIoControl on one of its units.
    IoctlOutcome UnitIoctl(std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                           std::uint32_t outSize, std::uint32_t* bytesReturned);

    // How many requests of an operation reached the reader so far.
    int RequestCount(const std::string& operation) const;

    void Replug() override;
    std::vector<std::uint8_t> Firmware() const override { return firmware_; }

  private:
    struct Reply {
        bool ok = false;
        std::vector<std::uint8_t> data;  // data-in bytes
    };

    // Counts the request and tells whether `failures` fails it.
    bool CountAndCheckFailure(const std::string& operation);
    Reply Execute(const std::string& operation, const PassThroughRequest& request);
    void Report(const std::string& command, std::uint8_t soundStatus);
    std::vector<std::uint8_t> IdentityBytes(std::size_t length) const;

    ReaderConfig config_;
    ReaderEnvironment environment_;
    std::vector<std::uint8_t> firmware_;
    bool ispMode_ = false;
    std::uint8_t pendingStatus_ = 0;  // what the next status read reports
    std::map<std::string, int> requestCounts_;
    std::map<std::string, std::size_t> answersUsed_;
};

// One unit (drive letter) of a reader.
class ReaderUnit : public SimDevice {
  public:
    explicit ReaderUnit(std::shared_ptr<ReaderController> controller)
        : controller_(std::move(controller)) {}
    bool Open() override { return controller_->OpenUnit(); }
    IoctlOutcome Ioctl(std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                       std::uint32_t outSize, std::uint32_t* bytesReturned) override {
        return controller_->UnitIoctl(code, in, inSize, out, outSize, bytesReturned);
    }

  private:
    std::shared_ptr<ReaderController> controller_;
};

// The operation a command block names ("Inquiry", "IspWrite", ...); empty for
// a block the controller does not know.
std::string OperationOf(const std::array<std::uint8_t, 16>& cdb);

}  // namespace usbisp::sim
