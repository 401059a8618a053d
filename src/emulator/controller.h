// An emulated card reader's controller, whatever carries its requests: the
// drives of the pass-through, the kernel driver, the port drivers, ASPI and
// the USB Bulk-Only Transport each have a front of their own that checks its
// request records and hands the controller transport-neutral requests.
//
// A sound controller answers INQUIRY in every state and ReadIdentity (and the
// two block reads) except in ISP mode; after IspJump it is in ISP mode until
// it is replugged and reports 0x9C; IspWrite stores the payload as its
// firmware and reports 0xA5; IspVerify reports 0x5A when the payload equals
// the firmware, else 0x33; outside ISP mode both are refused. A status read
// reports what the last command left (`answers` may replace that byte) and
// then has nothing to report (0x00).
//
// A reader with `memoryStick` carries a companion controller (ms_companion.h):
// the switch block written to the identity block address moves it between its
// main firmware and its loader and reports 0x9C (`answers` name it MsJump);
// while it is in its loader the transfers are its own, and it reports 0xA5
// for a stored image and for an equal one, 0x33 for a different one. Any
// other block write fails in transport.
//
// A reader with `identityLayout` takes its strings from the firmware it holds
// at each replug (firmware_identity.h); until then, and when the firmware
// carries none, they are the keys'.
//
// Request counting: every request that reaches the controller counts, per
// reader and operation, over the whole run (replugs included). A request named
// in `failures` fails in transport and nothing takes effect; one named in
// `scsiStatus` completes with that status, moves no data and takes no effect.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "emulator/ms_companion.h"
#include "emulator/operations.h"
#include "emulator/reader_config.h"
#include "emulator/sim_reader.h"

namespace usbisp::sim {

// What carried a request to the controller.
// A USB host reaches the firmware itself: nothing on its way holds back the
// 0xFF commands.
enum class Carrier { PassThrough, KernelDriver, PortDriver65, PortDriver66, Aspi, UsbBulkOnly };

struct ControllerRequest {
    Operation op = Operation::Inquiry;
    Carrier carrier = Carrier::PassThrough;
    // The data the request hands over: a transfer's payload (its exact byte
    // count), a block write's block.
    std::vector<std::uint8_t> payload;
    // The address of a block read or write.
    std::uint32_t address = 0;
};

struct ControllerReply {
    enum class Outcome {
        Done,     // carried out; `data` is the answer
        Refused,  // the controller does not take it
        Failed,   // named in `failures`: fails in transport, nothing takes effect
        Status,   // named in `scsiStatus`: completes with `scsiStatus`, no data
        Hung,     // named in `hangs`: never completes (ASPI), nothing takes effect
    };
    Outcome outcome = Outcome::Refused;
    std::uint8_t scsiStatus = 0;
    std::vector<std::uint8_t> data;

    bool done() const { return outcome == Outcome::Done; }
};

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
    ControllerReply Handle(const ControllerRequest& request);

    // How many requests of an operation reached the reader so far.
    int RequestCount(Operation op) const;

    void Replug() override;
    std::vector<std::uint8_t> Firmware() const override { return firmware_; }

  private:
    // Counts the request and tells whether `failures` fails it.
    bool CountAndCheckFailure(Operation op);
    ControllerReply Execute(const ControllerRequest& request);
    void Report(Operation command, std::uint8_t soundStatus);
    std::vector<std::uint8_t> IdentityBytes(std::size_t length) const;
    // What the companion controller does with a request, while it takes it.
    std::optional<ControllerReply> Companion(const ControllerRequest& request);

    ReaderConfig config_;
    ReaderEnvironment environment_;
    std::vector<std::uint8_t> firmware_;
    bool ispMode_ = false;
    std::optional<MsCompanion> companion_;  // only with `memoryStick`
    std::uint8_t pendingStatus_ = 0;        // what the next status read reports
    std::map<Operation, int> requestCounts_;
    std::map<std::string, std::size_t> answersUsed_;
};

}  // namespace usbisp::sim
