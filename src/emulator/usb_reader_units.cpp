#include "emulator/usb_reader_units.h"

#include <algorithm>

#include "emulator/operations.h"
#include "emulator/sense_data.h"
#include "platform/byte_order.h"

namespace usbisp::sim {

namespace {

// Sense keys and additional sense codes.
constexpr std::uint8_t kNoSense = 0x00;
constexpr std::uint8_t kNotReady = 0x02;
constexpr std::uint8_t kIllegalRequest = 0x05;
constexpr std::uint8_t kInvalidFieldInCdb = 0x24;
constexpr std::uint8_t kSavingParametersNotSupported = 0x39;
constexpr std::uint8_t kMediumNotPresent = 0x3A;
constexpr std::uint8_t kAbortedCommand = 0x0B;

// The standard commands a host sends to a card reader.
enum : std::uint8_t {
    kTestUnitReady = 0x00,
    kRequestSense = 0x03,
    kFormatUnit = 0x04,
    kRead6 = 0x08,
    kWrite6 = 0x0A,
    kInquiry = 0x12,
    kModeSense6 = 0x1A,
    kStartStopUnit = 0x1B,
    kPreventAllowMediumRemoval = 0x1E,
    kReadFormatCapacities = 0x23,
    kReadCapacity10 = 0x25,
    kRead10 = 0x28,
    kWrite10 = 0x2A,
    kWriteAndVerify10 = 0x2E,
    kVerify10 = 0x2F,
    kSynchronizeCache10 = 0x35,
    kModeSense10 = 0x5A,
    kRead12 = 0xA8,
    kWrite12 = 0xAA,
};

constexpr std::uint8_t kAllPages = 0x3F;
constexpr std::uint8_t kSavedValues = 3;

// The commands that need a card: with none in the reader they fail before
// any data moves.
bool NeedsMedium(std::uint8_t opcode) {
    switch (opcode) {
        case kTestUnitReady:
        case kFormatUnit:
        case kRead6:
        case kWrite6:
        case kReadFormatCapacities:
        case kReadCapacity10:
        case kRead10:
        case kWrite10:
        case kWriteAndVerify10:
        case kVerify10:
        case kSynchronizeCache10:
        case kRead12:
        case kWrite12:
            return true;
        default:
            return false;
    }
}

bool TakesData(Operation op) {
    return op == Operation::IspWrite || op == Operation::IspVerify;
}

}  // namespace

UsbReaderUnits::UsbReaderUnits(std::shared_ptr<ReaderController> controller, std::size_t units)
    : controller_(std::move(controller)),
      sense_(std::max<std::size_t>(units, 1), FixedSense(kNoSense, 0)) {}

void UsbReaderUnits::PowerOn() {
    std::fill(sense_.begin(), sense_.end(), FixedSense(kNoSense, 0));
}

UnitReply UsbReaderUnits::Fail(std::uint8_t lun, std::uint8_t key, std::uint8_t asc) {
    return Fail(lun, FixedSense(key, asc));
}

UnitReply UsbReaderUnits::Fail(std::uint8_t lun, const std::array<std::uint8_t, 18>& sense) {
    sense_[lun] = sense;
    UnitReply reply;
    reply.passed = false;
    return reply;
}

UnitReply UsbReaderUnits::Pass(std::uint8_t lun, std::vector<std::uint8_t> data) {
    sense_[lun] = FixedSense(kNoSense, 0);
    UnitReply reply;
    reply.phase = data.empty() ? UnitReply::Phase::None : UnitReply::Phase::In;
    reply.data = std::move(data);
    return reply;
}

UnitReply UsbReaderUnits::Begin(std::uint8_t lun, const CommandBlock& cb) {
    const std::uint8_t opcode = cb[0];
    if (NeedsMedium(opcode)) return Fail(lun, kNotReady, kMediumNotPresent);
    switch (opcode) {
        case kRequestSense:
            return RequestSense(lun, cb);
        case kInquiry:
            // No vital product data pages: only the standard inquiry data.
            if ((cb[1] & 0x01) != 0 || cb[2] != 0)
                return Fail(lun, kIllegalRequest, kInvalidFieldInCdb);
            break;
        case kModeSense6:
        case kModeSense10:
            return ModeSense(lun, cb);
        case kStartStopUnit:
            // Nothing to spin up or eject.
            return Pass(lun);
        case kPreventAllowMediumRemoval:
            // Prevent or allow; the other values belong to media changers.
            if ((cb[4] & 0x03) > 1) return Fail(lun, kIllegalRequest, kInvalidFieldInCdb);
            return Pass(lun);
        default:
            break;
    }
    const std::optional<Operation> op = OperationOf(cb);
    if (!op) return Fail(lun, IllegalRequestSense());
    return Vendor(lun, *op, cb);
}

UnitReply UsbReaderUnits::Vendor(std::uint8_t lun, Operation op, const CommandBlock& cb) {
    if (TakesData(op)) {
        // The controller takes the whole data phase and keeps the payload the
        // command names; a data phase larger than its buffer, or a payload
        // larger than the data phase, is a command block it cannot carry out.
        // Refused here, before the front asks the host for any data.
        const std::uint32_t length = CommandDataLength(op, cb);
        if (!TransferFits(cb) || TransferByteCount(cb) > length)
            return Fail(lun, kIllegalRequest, kInvalidFieldInCdb);
        UnitReply reply;
        reply.phase = length == 0 ? UnitReply::Phase::None : UnitReply::Phase::Out;
        reply.outLength = length;
        // A transfer without data is carried out now.
        if (length == 0) return Finish(lun, cb, {});
        return reply;
    }
    ControllerRequest request{op, Carrier::UsbBulkOnly, {}, 0};
    if (op == Operation::ReadIdentityBlock || op == Operation::ReadIdentityBlock2)
        request.address = BlockAddress(cb);
    return FromController(lun, cb, op, controller_->Handle(request));
}

UnitReply UsbReaderUnits::Finish(std::uint8_t lun, const CommandBlock& cb,
                                 const std::vector<std::uint8_t>& data) {
    const std::optional<Operation> op = OperationOf(cb);
    if (!op || !TakesData(*op)) return Fail(lun, kIllegalRequest, kInvalidFieldInCdb);
    const std::size_t exact = std::min<std::size_t>(TransferByteCount(cb), data.size());
    ControllerRequest request{*op, Carrier::UsbBulkOnly, {}, 0};
    request.payload.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(exact));
    return FromController(lun, cb, *op, controller_->Handle(request));
}

UnitReply UsbReaderUnits::FromController(std::uint8_t lun, const CommandBlock& cb, Operation op,
                                         const ControllerReply& reply) {
    switch (reply.outcome) {
        case ControllerReply::Outcome::Done: {
            // The device sends no more than its command asks for.
            std::vector<std::uint8_t> data = reply.data;
            if (data.size() > CommandDataLength(op, cb)) data.resize(CommandDataLength(op, cb));
            return Pass(lun, std::move(data));
        }
        case ControllerReply::Outcome::Refused:
            return Fail(lun, IllegalRequestSense());
        case ControllerReply::Outcome::Status:
            // The Bulk-Only Transport knows only passed and failed: any other
            // status than GOOD is a failed command, which the controller
            // aborted. Not a hardware error: hosts retry those of USB
            // storage without end.
            if (reply.scsiStatus == 0) return Pass(lun);
            return Fail(lun, kAbortedCommand, 0);
        case ControllerReply::Outcome::Failed:
        case ControllerReply::Outcome::Hung:
            break;
    }
    // The request never got through: the command fails with nothing to say
    // why, which a host takes for a failure of the transport. A USB device
    // cannot leave a command open.
    return Fail(lun, kNoSense, 0);
}

UnitReply UsbReaderUnits::RequestSense(std::uint8_t lun, const CommandBlock& cb) {
    // Fixed format whatever the descriptor bit asks: the reader has no other.
    const std::array<std::uint8_t, 18> sense = sense_[lun];
    std::vector<std::uint8_t> data(sense.begin(), sense.begin() + std::min<std::size_t>(cb[4], 18));
    // Reported once: the unit has nothing to report afterwards.
    return Pass(lun, std::move(data));
}

UnitReply UsbReaderUnits::ModeSense(std::uint8_t lun, const CommandBlock& cb) {
    const std::uint8_t control = cb[2] >> 6;
    const std::uint8_t page = cb[2] & 0x3F;
    if (control == kSavedValues) return Fail(lun, kIllegalRequest, kSavingParametersNotSupported);
    // No mode pages and, without a card, no block descriptor: the header
    // alone, saying the (absent) medium is not write-protected.
    if (page != kAllPages) return Fail(lun, kIllegalRequest, kInvalidFieldInCdb);
    std::vector<std::uint8_t> header;
    std::size_t allocation = 0;
    if (cb[0] == kModeSense6) {
        header = {3, 0, 0, 0};  // mode data length, medium type, device-specific, descriptors
        allocation = cb[4];
    } else {
        header = {0, 6, 0, 0, 0, 0, 0, 0};
        allocation = GetBe16(&cb[7]);
    }
    if (header.size() > allocation) header.resize(allocation);
    return Pass(lun, std::move(header));
}

}  // namespace usbisp::sim
