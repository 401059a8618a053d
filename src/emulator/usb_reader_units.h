// The units (logical units) of a card reader that a USB host reaches through
// the Bulk-Only Transport, holding no card: the standard commands a host sends
// to a card reader are answered as an empty reader answers them, and the
// reader's vendor commands (and INQUIRY) go to its controller. Each unit keeps
// the sense data of its last failed command until REQUEST SENSE reads it or
// another command replaces it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "emulator/controller.h"

namespace usbisp::sim {

using CommandBlock = std::array<std::uint8_t, 16>;

// What a unit does with one command: its data phase and its outcome.
struct UnitReply {
    enum class Phase { None, In, Out };
    Phase phase = Phase::None;
    // Data in: what the unit sends. Data out: empty.
    std::vector<std::uint8_t> data;
    // Data out: how many bytes the unit takes before it carries the command
    // out.
    std::uint32_t outLength = 0;
    bool passed = true;  // false: CHECK CONDITION, the sense data set
};

class UsbReaderUnits {
  public:
    // `units`: the reader's drive letters; a reader without any still answers
    // as one unit.
    UsbReaderUnits(std::shared_ptr<ReaderController> controller, std::size_t units);

    std::size_t unitCount() const { return sense_.size(); }

    // A command arrives for unit `lun` (below unitCount()). A command without
    // data or with data in is carried out now; one with data out only says
    // how much it takes, or fails at once.
    UnitReply Begin(std::uint8_t lun, const CommandBlock& cb);
    // The data of a data-out command arrived, `outLength` bytes of it: the
    // command is carried out.
    UnitReply Finish(std::uint8_t lun, const CommandBlock& cb,
                     const std::vector<std::uint8_t>& data);

    // Power came back: no unit has sense data to report.
    void PowerOn();

    // The sense data unit `lun` would report now (fixed format, 18 bytes).
    const std::array<std::uint8_t, 18>& Sense(std::uint8_t lun) const { return sense_[lun]; }

  private:
    UnitReply Vendor(std::uint8_t lun, Operation op, const CommandBlock& cb);
    UnitReply FromController(std::uint8_t lun, const CommandBlock& cb, Operation op,
                             const ControllerReply& reply);
    UnitReply Fail(std::uint8_t lun, std::uint8_t key, std::uint8_t asc);
    UnitReply Fail(std::uint8_t lun, const std::array<std::uint8_t, 18>& sense);
    UnitReply Pass(std::uint8_t lun, std::vector<std::uint8_t> data = {});
    UnitReply RequestSense(std::uint8_t lun, const CommandBlock& cb);
    UnitReply ModeSense(std::uint8_t lun, const CommandBlock& cb);

    std::shared_ptr<ReaderController> controller_;
    std::vector<std::array<std::uint8_t, 18>> sense_;
};

}  // namespace usbisp::sim
