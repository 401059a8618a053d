#include "emulator/usb_bulk_only.h"

#include <algorithm>

#include "platform/byte_order.h"

namespace usbisp::sim {

namespace {

constexpr std::uint8_t kDirectionIn = 0x80;
constexpr std::uint8_t kMaxCommandLength = 16;

enum class Direction { None, In, Out };

BulkStep Send(std::vector<std::uint8_t> bytes) {
    return {BulkStep::Kind::SendData, std::move(bytes), 0};
}

BulkStep Receive(std::uint32_t length) {
    return {BulkStep::Kind::ReceiveData, {}, length};
}

BulkStep Stall(BulkStep::Kind kind) {
    return {kind, {}, 0};
}

BulkStep Status(std::uint32_t tag, std::uint32_t residue, CommandStatus status) {
    return {BulkStep::Kind::SendStatus, StatusWrapper(tag, residue, status), 0};
}

CommandStatus StatusOf(const UnitReply& reply) {
    return reply.passed ? CommandStatus::Passed : CommandStatus::Failed;
}

Direction DeviceDirection(const UnitReply& reply) {
    switch (reply.phase) {
        case UnitReply::Phase::In:
            return Direction::In;
        case UnitReply::Phase::Out:
            return Direction::Out;
        case UnitReply::Phase::None:
            break;
    }
    return Direction::None;
}

}  // namespace

std::vector<std::uint8_t> StatusWrapper(std::uint32_t tag, std::uint32_t residue,
                                        CommandStatus status) {
    std::vector<std::uint8_t> csw(kStatusWrapperLength, 0);
    PutLe32(&csw[0], kStatusWrapperSignature);
    PutLe32(&csw[4], tag);
    PutLe32(&csw[8], residue);
    csw[12] = static_cast<std::uint8_t>(status);
    return csw;
}

UsbBulkOnlyFront::UsbBulkOnlyFront(std::shared_ptr<ReaderController> controller, std::size_t units)
    : controller_(controller), units_(std::move(controller), units) {}

void UsbBulkOnlyFront::Reset() {
    state_ = State::Command;
    pending_ = {};
}

void UsbBulkOnlyFront::Unplugged() {
    controller_->Replug();
    units_.PowerOn();
    Reset();
}

ControlReply UsbBulkOnlyFront::Control(const UsbSetup& setup) {
    // Addressed to interface 0, the reader's only one.
    if (setup.index != 0 || setup.value != 0) return std::nullopt;
    if (setup.requestType == kGetMaxLunRequestType && setup.request == kGetMaxLunRequest &&
        setup.length == 1)
        return std::vector<std::uint8_t>{static_cast<std::uint8_t>(unitCount() - 1)};
    if (setup.requestType == kResetRequestType && setup.request == kResetRequest &&
        setup.length == 0) {
        Reset();
        return std::vector<std::uint8_t>{};
    }
    return std::nullopt;
}

std::vector<BulkStep> UsbBulkOnlyFront::Received(const std::vector<std::uint8_t>& transfer) {
    switch (state_) {
        case State::DataOut:
            return DataArrived(transfer);
        case State::ResetNeeded:
            // Whatever comes is dropped, and bulk-in stays halted (the host
            // may have cleared it without the reset).
            return {Stall(BulkStep::Kind::StallIn)};
        case State::Command:
            break;
    }
    return Command(transfer);
}

std::vector<BulkStep> UsbBulkOnlyFront::Command(const std::vector<std::uint8_t>& w) {
    if (w.size() != kCommandWrapperLength || GetLe32(w.data()) != kCommandWrapperSignature) {
        state_ = State::ResetNeeded;
        return {Stall(BulkStep::Kind::StallIn), Stall(BulkStep::Kind::StallOut)};
    }
    const std::uint32_t tag = GetLe32(&w[4]);
    const std::uint32_t hostLength = GetLe32(&w[8]);
    const std::uint8_t flags = w[12];
    const std::uint8_t lun = w[13];
    const std::uint8_t cbLength = w[14];
    const Direction host = hostLength == 0               ? Direction::None
                           : (flags & kDirectionIn) != 0 ? Direction::In
                                                         : Direction::Out;

    // A wrapper with reserved bits set, a unit the reader does not have or a
    // command block length outside 1 to 16 is not a command: the device
    // moves no data and answers a phase error, on which the host resets it.
    const bool meaningful = (flags & ~kDirectionIn) == 0 && lun < unitCount() && cbLength >= 1 &&
                            cbLength <= kMaxCommandLength;
    UnitReply reply;
    std::optional<CommandStatus> forced;
    CommandBlock cb{};
    if (meaningful) {
        // Only the bytes the wrapper declares belong to the command.
        std::copy_n(w.begin() + 15, cbLength, cb.begin());
        reply = units_.Begin(lun, cb);
    } else {
        forced = CommandStatus::PhaseError;
    }
    const CommandStatus status = forced.value_or(StatusOf(reply));
    const Direction device = forced ? Direction::None : DeviceDirection(reply);

    if (host == Direction::None) {
        // The host expects no data: a device that wants to move some is out
        // of phase, and a command that takes data is not carried out.
        return {Status(tag, 0, device == Direction::None ? status : CommandStatus::PhaseError)};
    }
    if (host == Direction::In) {
        if (device == Direction::None)
            return {Stall(BulkStep::Kind::StallIn), Status(tag, hostLength, status)};
        if (device == Direction::Out)
            return {Stall(BulkStep::Kind::StallIn),
                    Status(tag, hostLength, CommandStatus::PhaseError)};
        // The host gets what fits; a shorter answer ends with a halt, so that
        // the host stops waiting for the rest, and the residue says how much
        // is missing. An answer longer than the host allows is out of phase.
        const std::size_t moved = std::min<std::size_t>(hostLength, reply.data.size());
        std::vector<BulkStep> steps;
        steps.push_back(Send(std::vector<std::uint8_t>(
            reply.data.begin(), reply.data.begin() + static_cast<std::ptrdiff_t>(moved))));
        if (moved < hostLength) steps.push_back(Stall(BulkStep::Kind::StallIn));
        const CommandStatus inStatus =
            reply.data.size() > hostLength ? CommandStatus::PhaseError : status;
        steps.push_back(Status(tag, hostLength - static_cast<std::uint32_t>(moved), inStatus));
        return steps;
    }
    // The host sends data.
    if (device != Direction::Out)
        return {Stall(BulkStep::Kind::StallOut),
                Status(tag, hostLength,
                       device == Direction::None ? status : CommandStatus::PhaseError)};
    pending_ = {tag, hostLength, reply.outLength, lun, cb};
    state_ = State::DataOut;
    return {Receive(std::min(hostLength, reply.outLength))};
}

std::vector<BulkStep> UsbBulkOnlyFront::DataArrived(const std::vector<std::uint8_t>& data) {
    const Pending p = pending_;
    Reset();
    const std::uint32_t expected = std::min(p.hostLength, p.deviceLength);
    const auto got = static_cast<std::uint32_t>(std::min<std::size_t>(data.size(), expected));
    // Less data than the command takes (the host offered less, or ended the
    // transfer early): the command is not carried out on part of its data.
    if (got < p.deviceLength) return {Status(p.tag, p.hostLength - got, CommandStatus::PhaseError)};
    std::vector<std::uint8_t> taken(data.begin(), data.begin() + got);
    const UnitReply reply = units_.Finish(p.lun, p.cb, taken);
    std::vector<BulkStep> steps;
    // More offered than the command takes: the rest is refused with a halt.
    if (p.hostLength > got) steps.push_back(Stall(BulkStep::Kind::StallOut));
    steps.push_back(Status(p.tag, p.hostLength - got, StatusOf(reply)));
    return steps;
}

}  // namespace usbisp::sim
