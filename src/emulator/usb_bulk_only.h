// The USB Bulk-Only Transport of a card reader: every command comes as a
// 31-byte command block wrapper on the bulk-out pipe, its data moves on the
// pipe of its direction, and a 13-byte status wrapper on the bulk-in pipe
// ends it. The host's idea of the data phase (the wrapper's length and
// direction) and the unit's may differ: the front settles every combination
// with the transport's rules (the data that fits, a stalled pipe where the
// host expects more than the device moves, the residue, a phase error where
// the two disagree on the direction or the device has more to move than the
// host allows). A wrapper of the wrong size or signature halts both pipes
// until the host resets the interface.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "emulator/operations.h"
#include "emulator/usb_descriptors.h"
#include "emulator/usb_reader_units.h"

namespace usbisp::sim {

inline constexpr std::size_t kCommandWrapperLength = 31;
inline constexpr std::size_t kStatusWrapperLength = 13;
inline constexpr std::uint32_t kCommandWrapperSignature = 0x43425355;  // "USBC"
inline constexpr std::uint32_t kStatusWrapperSignature = 0x53425355;   // "USBS"

enum class CommandStatus : std::uint8_t { Passed = 0, Failed = 1, PhaseError = 2 };

// The most data one step moves (a data phase in or out): a carrier whose
// buffer holds this many bytes holds every data phase. The reader's largest
// is a whole transfer into the controller's buffer; the units refuse a
// command that names more before the host is asked for any of it.
inline constexpr std::uint32_t kMaxDataPhase = kControllerBufferLength;

// A command block wrapper as it comes from the host, its fields decoded.
struct CommandWrapper {
    std::uint32_t signature = 0;  // kCommandWrapperSignature in a valid one
    std::uint32_t tag = 0;
    std::uint32_t dataLength = 0;  // dCBWDataTransferLength
    std::uint8_t flags = 0;
    std::uint8_t lun = 0;
    std::uint8_t blockLength = 0;  // as declared, even outside 1 to 16
    // The first min(blockLength, 16) bytes of the command block; the rest 0.
    CommandBlock block{};

    bool dataIn() const { return (flags & 0x80) != 0; }
};

// The fields of a transfer of a wrapper's size; nothing for another size.
std::optional<CommandWrapper> DecodeCommandWrapper(const std::vector<std::uint8_t>& transfer);

// One thing the device does on its bulk pipes, in the order given.
struct BulkStep {
    enum class Kind {
        SendData,     // `bytes` to the host on bulk-in
        ReceiveData,  // take `length` bytes from bulk-out and hand them to Received()
        StallIn,      // halt bulk-in
        StallOut,     // halt bulk-out
        SendStatus,   // the status wrapper `bytes` on bulk-in
    };
    Kind kind = Kind::SendData;
    std::vector<std::uint8_t> bytes;
    std::uint32_t length = 0;
};

// What the device answers a request on the control pipe: nothing (a stall)
// or the data of its data stage (empty for a request without one).
using ControlReply = std::optional<std::vector<std::uint8_t>>;

class UsbBulkOnlyFront {
  public:
    enum class State {
        Command,     // waiting for a command block wrapper
        DataOut,     // the data of a command is coming
        ResetNeeded  // an invalid wrapper came: only a reset clears it
    };

    // `units`: the reader's drive letters, one logical unit each.
    UsbBulkOnlyFront(std::shared_ptr<ReaderController> controller, std::size_t units);

    State state() const { return state_; }
    // Both bulk pipes are to stay halted until the host resets the interface:
    // a host that clears a halt without the reset finds it halted again.
    bool HaltHeld() const { return state_ == State::ResetNeeded; }
    std::size_t unitCount() const { return units_.unitCount(); }
    const UsbReaderUnits& units() const { return units_; }

    // A transfer arrived on bulk-out: a command block wrapper, or the data a
    // ReceiveData step asked for (fewer bytes when the host ended it short).
    std::vector<BulkStep> Received(const std::vector<std::uint8_t>& transfer);

    // Get Max LUN and Bulk-Only Mass Storage Reset; any other request stalls.
    ControlReply Control(const UsbSetup& setup);

    // The interface was reset (the class request, a bus reset, a new
    // configuration): the command in progress is abandoned and the next
    // transfer is a command block wrapper.
    void Reset();
    // The host lost the reader (unplugged): its controller loses power and
    // starts again, no unit holds sense data.
    void Unplugged();

  private:
    struct Pending {
        std::uint32_t tag = 0;
        std::uint32_t hostLength = 0;
        std::uint32_t deviceLength = 0;
        std::uint8_t lun = 0;
        CommandBlock cb{};
    };

    std::vector<BulkStep> Command(const std::vector<std::uint8_t>& transfer);
    std::vector<BulkStep> DataArrived(const std::vector<std::uint8_t>& data);

    std::shared_ptr<ReaderController> controller_;
    UsbReaderUnits units_;
    State state_ = State::Command;
    Pending pending_;
};

// The status wrapper of a command: its tag, the residue, the status.
std::vector<std::uint8_t> StatusWrapper(std::uint32_t tag, std::uint32_t residue,
                                        CommandStatus status);

}  // namespace usbisp::sim
