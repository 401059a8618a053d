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

std::optional<CommandWrapper> DecodeCommandWrapper(const std::vector<std::uint8_t>& transfer) {
    if (transfer.size() != kCommandWrapperLength) return std::nullopt;
    CommandWrapper w;
    w.signature = GetLe32(&transfer[0]);
    w.tag = GetLe32(&transfer[4]);
    w.dataLength = GetLe32(&transfer[8]);
    w.flags = transfer[12];
    w.lun = transfer[13];
    w.blockLength = transfer[14];
    // Only the bytes the wrapper declares belong to the command.
    const std::size_t n = std::min<std::size_t>(w.blockLength, w.block.size());
    std::copy_n(transfer.begin() + 15, n, w.block.begin());
    return w;
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

std::vector<BulkStep> UsbBulkOnlyFront::Command(const std::vector<std::uint8_t>& transfer) {
    const std::optional<CommandWrapper> w = DecodeCommandWrapper(transfer);
    if (!w || w->signature != kCommandWrapperSignature) {
        state_ = State::ResetNeeded;
        return {Stall(BulkStep::Kind::StallIn), Stall(BulkStep::Kind::StallOut)};
    }
    const std::uint32_t tag = w->tag;
    const std::uint32_t hostLength = w->dataLength;
    const Direction host = hostLength == 0 ? Direction::None
                           : w->dataIn()   ? Direction::In
                                           : Direction::Out;

    // A wrapper with reserved bits set, a unit the reader does not have or a
    // command block length outside 1 to 16 is not a command: the device
    // moves no data and answers a phase error, on which the host resets it.
    const bool meaningful = (w->flags & ~kDirectionIn) == 0 && w->lun < unitCount() &&
                            w->blockLength >= 1 && w->blockLength <= kMaxCommandLength;
    UnitReply reply;
    std::optional<CommandStatus> forced;
    if (meaningful) {
        reply = units_.Begin(w->lun, w->block);
    } else {
        forced = CommandStatus::PhaseError;
    }
    const CommandStatus status = forced.value_or(StatusOf(reply));
    const Direction device = forced ? Direction::None : DeviceDirection(reply);

    if (host == Direction::None) {
        // "1 Hn=Dn"; "2 Hn<Di" and "3 Hn<Do": the host expects no data, a
        // device that wants to move some is out of phase, and a command that
        // takes data is not carried out.
        return {Status(tag, 0, device == Direction::None ? status : CommandStatus::PhaseError)};
    }
    if (host == Direction::In) {
        // "4 Hi>Dn"
        if (device == Direction::None)
            return {Stall(BulkStep::Kind::StallIn), Status(tag, hostLength, status)};
        // "8 Hi<>Do"
        if (device == Direction::Out)
            return {Stall(BulkStep::Kind::StallIn),
                    Status(tag, hostLength, CommandStatus::PhaseError)};
        // "5 Hi>Di", "6 Hi=Di", "7 Hi<Di": the host gets what fits; a shorter
        // answer ends with a halt, so that the host stops waiting for the
        // rest, and the residue says how much is missing. An answer longer
        // than the host allows is out of phase.
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
    // The host sends data. "9 Ho>Dn" (also a command the unit refused before
    // its data, such as one naming more blocks than the controller holds) and
    // "10 Ho<>Di": the host's data is refused with a halt.
    if (device != Direction::Out)
        return {Stall(BulkStep::Kind::StallOut),
                Status(tag, hostLength,
                       device == Direction::None ? status : CommandStatus::PhaseError)};
    // "11 Ho>Do", "12 Ho=Do", "13 Ho<Do": settled when the data has come.
    pending_ = {tag, hostLength, reply.outLength, w->lun, w->block};
    state_ = State::DataOut;
    return {Receive(std::min(hostLength, reply.outLength))};
}

std::vector<BulkStep> UsbBulkOnlyFront::DataArrived(const std::vector<std::uint8_t>& data) {
    const Pending p = pending_;
    Reset();
    const std::uint32_t expected = std::min(p.hostLength, p.deviceLength);
    const auto got = static_cast<std::uint32_t>(std::min<std::size_t>(data.size(), expected));
    // "13 Ho<Do", or "12 Ho=Do" ended short by the host: less data than the
    // command takes, which is not carried out on part of its data.
    if (got < p.deviceLength) return {Status(p.tag, p.hostLength - got, CommandStatus::PhaseError)};
    std::vector<std::uint8_t> taken(data.begin(), data.begin() + got);
    const UnitReply reply = units_.Finish(p.lun, p.cb, taken);
    std::vector<BulkStep> steps;
    // "11 Ho>Do": more offered than the command takes, the rest refused with
    // a halt.
    if (p.hostLength > got) steps.push_back(Stall(BulkStep::Kind::StallOut));
    steps.push_back(Status(p.tag, p.hostLength - got, StatusOf(reply)));
    return steps;
}

}  // namespace usbisp::sim
