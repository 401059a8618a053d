#include "platform/sim/drive_unit.h"

#include <algorithm>

#include "emulator/reader_identity.h"
#include "emulator/sense_data.h"
#include "platform/scsi_pass_through.h"
#include "platform/win_constants.h"

namespace usbisp::sim {

namespace {

constexpr std::uint32_t kBlock = 512;
constexpr std::uint8_t kCheckCondition = 0x02;

bool IsTransfer(Operation op) {
    return op == Operation::IspWrite || op == Operation::IspVerify;
}

// Only the bytes of the command block the request declares reach the device.
std::uint32_t ExactCount(const PassThroughRequest& r) {
    return TransferByteCount(r.deviceCdb);
}

std::uint32_t CommandLength(Operation op, const PassThroughRequest& r) {
    return CommandDataLength(op, r.deviceCdb);
}

// What the command block asks of the data phase, beyond the header checks.
std::string CheckCommand(Operation op, const PassThroughRequest& r) {
    const std::string name = OperationName(op);
    if (IsTransfer(op)) {
        if (r.isDataIn()) return name + " needs data out";
        const std::uint32_t blocks = r.deviceCdb[6];
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
    // The device has more to send than the request takes: the transfer ends
    // in a phase error.
    const std::uint32_t own = CommandLength(op, r);
    if (r.dataTransferLength < own)
        return "DataTransferLength " + std::to_string(r.dataTransferLength) +
               " is shorter than the " + std::to_string(own) + " bytes of " + name +
               " (phase error)";
    return {};
}

IoctlOutcome Refuse(const std::string& reason) {
    return {false, "", reason};
}

// Completes a request that the unit carried out or answered with a status.
IoctlOutcome Complete(void* in, void* out, std::uint32_t* bytesReturned,
                      const PassThroughRequest& request, std::uint8_t status,
                      const PassThroughReply& reply) {
    std::vector<std::uint8_t> sense;
    const std::uint32_t returned = CompletePassThrough(in, out, request, status, reply, &sense);
    if (bytesReturned) *bytesReturned = returned;
    return {true, PassThroughDetails(request, status, sense), ""};
}

// A command the unit does not take: it fails in transport, or completes with
// CHECK CONDITION and no data, as a real reader answers it.
IoctlOutcome Refusal(Refusals refusals, void* in, void* out, std::uint32_t* bytesReturned,
                     const PassThroughRequest& request) {
    if (refusals == Refusals::Transport)
        return {false, PassThroughDetails(request, request.scsiStatus), ""};
    const SenseData sense = IllegalRequestSense();
    return Complete(in, out, bytesReturned, request, kCheckCondition,
                    {{}, {sense.begin(), sense.end()}});
}

}  // namespace

IoctlOutcome ReaderUnit::Ioctl(std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                               std::uint32_t outSize, std::uint32_t* bytesReturned) {
    if (bytesReturned) *bytesReturned = 0;
    if (code != win::kIoctlScsiPassThrough) return Refuse(kNotServedByDrive);
    ParsedPassThrough parsed = ParsePassThrough(in, inSize, out, outSize);
    if (!parsed.request) return Refuse(parsed.reason);
    const PassThroughRequest& request = *parsed.request;
    const std::optional<Operation> op = OperationOf(request.deviceCdb);
    if (parsed.reason.empty() && op) parsed.reason = CheckCommand(*op, request);
    if (!parsed.reason.empty())
        return {false, PassThroughDetails(request, request.scsiStatus), parsed.reason};
    if (!op) return Refusal(refusals_, in, out, bytesReturned, request);

    ControllerRequest forController{*op, Carrier::PassThrough, {}, 0};
    if (IsTransfer(*op)) {
        const auto exact = static_cast<std::ptrdiff_t>(ExactCount(request));
        forController.payload.assign(request.dataOut.begin(), request.dataOut.begin() + exact);
    } else if (*op == Operation::ReadIdentityBlock || *op == Operation::ReadIdentityBlock2) {
        forController.address = BlockAddress(request.deviceCdb);
    }
    ControllerReply reply = controller_->Handle(forController);
    switch (reply.outcome) {
        case ControllerReply::Outcome::Failed:
            return {false, PassThroughDetails(request, request.scsiStatus), ""};
        case ControllerReply::Outcome::Refused:
            return Refusal(refusals_, in, out, bytesReturned, request);
        case ControllerReply::Outcome::Hung:  // a drive request cannot stay open
            return {false, PassThroughDetails(request, request.scsiStatus), ""};
        case ControllerReply::Outcome::Status:
            return Complete(in, out, bytesReturned, request, reply.scsiStatus, {});
        case ControllerReply::Outcome::Done:
            break;
    }
    // The device sends no more than its command asks for.
    if (reply.data.size() > CommandLength(*op, request))
        reply.data.resize(CommandLength(*op, request));
    return Complete(in, out, bytesReturned, request, 0, {std::move(reply.data), {}});
}

IoctlOutcome PlainDisk::Ioctl(std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                              std::uint32_t outSize, std::uint32_t* bytesReturned) {
    if (bytesReturned) *bytesReturned = 0;
    if (code != win::kIoctlScsiPassThrough) return Refuse(kNotServedByDrive);
    ParsedPassThrough parsed = ParsePassThrough(in, inSize, out, outSize);
    if (!parsed.request) return Refuse(parsed.reason);
    const PassThroughRequest& request = *parsed.request;
    if (!parsed.reason.empty())
        return {false, PassThroughDetails(request, request.scsiStatus), parsed.reason};
    if (request.deviceCdb[0] != 0x12 || !request.isDataIn())
        return Refusal(refusals_, in, out, bytesReturned, request);
    const std::string phase = CheckCommand(Operation::Inquiry, request);
    if (!phase.empty()) return {false, PassThroughDetails(request, request.scsiStatus), phase};
    const auto data = BuildInquiryData("ATA", "FIXED DISK", "1.00", false);
    std::vector<std::uint8_t> reply(data.begin(), data.end());
    if (reply.size() > CommandLength(Operation::Inquiry, request))
        reply.resize(CommandLength(Operation::Inquiry, request));
    return Complete(in, out, bytesReturned, request, 0, {std::move(reply), {}});
}

}  // namespace usbisp::sim
