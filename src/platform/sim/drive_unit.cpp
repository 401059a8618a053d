#include "platform/sim/drive_unit.h"

#include "platform/sim/reader_identity.h"
#include "platform/sim/reader_pass_through.h"

namespace usbisp::sim {

namespace {

constexpr std::uint32_t kBlock = 512;

bool IsTransfer(Operation op) {
    return op == Operation::IspWrite || op == Operation::IspVerify;
}

std::uint32_t ExactCount(const PassThroughRequest& r) {
    return static_cast<std::uint32_t>(r.cdb[4] | r.cdb[5] << 8);
}

std::uint32_t Address(const PassThroughRequest& r) {
    return static_cast<std::uint32_t>(r.cdb[2]) << 24 | static_cast<std::uint32_t>(r.cdb[3]) << 16 |
           static_cast<std::uint32_t>(r.cdb[4]) << 8 | r.cdb[5];
}

// What the command block asks of the data phase, beyond the header checks.
std::string CheckCommand(Operation op, const PassThroughRequest& r) {
    const std::string name = OperationName(op);
    if (IsTransfer(op)) {
        if (r.isDataIn()) return name + " needs data out";
        const std::uint32_t blocks = r.cdb[6];
        if (blocks * kBlock != r.dataTransferLength)
            return "block count " + std::to_string(blocks) + " x 512 is not DataTransferLength " +
                   std::to_string(r.dataTransferLength);
        if (ExactCount(r) > r.dataTransferLength)
            return "byte count " + std::to_string(ExactCount(r)) + " above DataTransferLength " +
                   std::to_string(r.dataTransferLength);
        return {};
    }
    if (op != Operation::IspJump && !r.isDataIn() && r.dataTransferLength > 0)
        return name + " needs data in";
    return {};
}

IoctlOutcome Refuse(const std::string& reason) {
    return {false, "", reason};
}

}  // namespace

IoctlOutcome ReaderUnit::Ioctl(std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                               std::uint32_t outSize, std::uint32_t* bytesReturned) {
    if (bytesReturned) *bytesReturned = 0;
    if (code != kPassThroughCode) return Refuse("control code not served by a drive");
    ParsedPassThrough parsed = ParsePassThrough(in, inSize, out, outSize);
    if (!parsed.request) return Refuse(parsed.reason);
    const PassThroughRequest& request = *parsed.request;
    const std::optional<Operation> op = OperationOf(request.cdb);
    if (parsed.reason.empty() && op) parsed.reason = CheckCommand(*op, request);
    const std::string refused = PassThroughDetails(request, request.scsiStatus);
    if (!parsed.reason.empty()) return {false, refused, parsed.reason};
    // A command block the controller does not know fails in transport.
    if (!op) return {false, refused, ""};

    ControllerRequest forController{*op, Carrier::PassThrough, {}, 0};
    if (IsTransfer(*op)) {
        const auto exact = static_cast<std::ptrdiff_t>(ExactCount(request));
        forController.payload.assign(request.dataOut.begin(), request.dataOut.begin() + exact);
    } else if (*op == Operation::ReadIdentityBlock || *op == Operation::ReadIdentityBlock2) {
        forController.address = Address(request);
    }
    const ControllerReply reply = controller_->Handle(forController);
    std::uint8_t status = 0;
    switch (reply.outcome) {
        case ControllerReply::Outcome::Failed:
        case ControllerReply::Outcome::Refused:
        case ControllerReply::Outcome::Hung:  // a drive request cannot stay open
            return {false, refused, ""};
        case ControllerReply::Outcome::Status:
            status = reply.scsiStatus;
            break;
        case ControllerReply::Outcome::Done:
            break;
    }
    const std::uint32_t moved = CompletePassThrough(in, out, request, status, reply.data);
    if (bytesReturned) *bytesReturned = moved;
    return {true, PassThroughDetails(request, status), ""};
}

IoctlOutcome PlainDisk::Ioctl(std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                              std::uint32_t outSize, std::uint32_t* bytesReturned) {
    if (bytesReturned) *bytesReturned = 0;
    if (code != kPassThroughCode) return Refuse("control code not served by a drive");
    ParsedPassThrough parsed = ParsePassThrough(in, inSize, out, outSize);
    if (!parsed.request) return Refuse(parsed.reason);
    const PassThroughRequest& request = *parsed.request;
    if (!parsed.reason.empty())
        return {false, PassThroughDetails(request, request.scsiStatus), parsed.reason};
    if (request.cdb[0] != 0x12 || !request.isDataIn())
        return {false, PassThroughDetails(request, request.scsiStatus), ""};
    const auto data = BuildInquiryData("ATA", "FIXED DISK", "1.00", false);
    const std::uint32_t moved = CompletePassThrough(
        in, out, request, 0, std::vector<std::uint8_t>(data.begin(), data.end()));
    if (bytesReturned) *bytesReturned = moved;
    return {true, PassThroughDetails(request, 0), ""};
}

}  // namespace usbisp::sim
