#include "platform/sim/reader.h"

#include <algorithm>

#include "platform/sim/reader_identity.h"

namespace usbisp::sim {

namespace {

constexpr std::uint32_t kIdentityBlockAddress = 0x04A55A30u;
constexpr std::uint32_t kBlock = 512;
constexpr std::uint8_t kJumpOk = 0x9C;
constexpr std::uint8_t kWriteOk = 0xA5;
constexpr std::uint8_t kVerifyOk = 0x5A;
constexpr std::uint8_t kVerifyMismatch = 0x33;

bool IsTransfer(const std::string& operation) {
    return operation == "IspWrite" || operation == "IspVerify";
}

std::uint32_t ExactCount(const PassThroughRequest& r) {
    return static_cast<std::uint32_t>(r.cdb[4] | r.cdb[5] << 8);
}

// What the command block asks of the data phase, beyond the header checks.
std::string CheckCommand(const std::string& operation, const PassThroughRequest& r) {
    if (IsTransfer(operation)) {
        if (r.isDataIn()) return operation + " needs data out";
        const std::uint32_t blocks = r.cdb[6];
        if (blocks * kBlock != r.dataTransferLength)
            return "block count " + std::to_string(blocks) + " x 512 is not DataTransferLength " +
                   std::to_string(r.dataTransferLength);
        if (ExactCount(r) > r.dataTransferLength)
            return "byte count " + std::to_string(ExactCount(r)) + " above DataTransferLength " +
                   std::to_string(r.dataTransferLength);
        return {};
    }
    if (operation != "IspJump" && !r.isDataIn() && r.dataTransferLength > 0)
        return operation + " needs data in";
    return {};
}

}  // namespace

std::string OperationOf(const std::array<std::uint8_t, 16>& cdb) {
    switch (cdb[0]) {
        case 0x12:
            return "Inquiry";
        case 0x06:
            switch (cdb[1]) {
                case 0x05:
                    return "ReadIdentity";
                case 0xBF:
                    return "IspJump";
                case 0xB0:
                    return "GetIspStatus";
                case 0xB1:
                    return cdb[2] == 0 ? "IspWrite" : "";
                case 0xB2:
                    return cdb[2] == 1 ? "IspVerify" : "";
                default:
                    return "";
            }
        case 0xFF:
            switch (cdb[1]) {
                case 0x01:
                    return "GetDeviceCount";
                case 0x02:
                    return "GetLunCount";
                case 0x03:
                    return "ReadIdentityBlock";
                case 0x13:
                    return "ReadIdentityBlock2";
                default:
                    return "";
            }
        default:
            return "";
    }
}

ReaderController::ReaderController(ReaderConfig config, ReaderEnvironment environment)
    : config_(std::move(config)), environment_(environment), firmware_(config_.firmware) {}

int ReaderController::RequestCount(const std::string& operation) const {
    auto it = requestCounts_.find(operation);
    return it == requestCounts_.end() ? 0 : it->second;
}

bool ReaderController::CountAndCheckFailure(const std::string& operation) {
    const int n = ++requestCounts_[operation];
    const std::string numbered = operation + "#" + std::to_string(n);
    return std::any_of(config_.failures.begin(), config_.failures.end(),
                       [&](const std::string& f) { return f == operation || f == numbered; });
}

bool ReaderController::OpenUnit() {
    return !CountAndCheckFailure("Open");
}

void ReaderController::Replug() {
    ispMode_ = false;
    pendingStatus_ = 0;
}

void ReaderController::Report(const std::string& command, std::uint8_t soundStatus) {
    pendingStatus_ = soundStatus;
    auto it = config_.answers.find(command);
    if (it == config_.answers.end()) return;
    std::size_t& used = answersUsed_[command];
    if (used < it->second.size()) pendingStatus_ = it->second[used++];
}

std::vector<std::uint8_t> ReaderController::IdentityBytes(std::size_t length) const {
    const auto block =
        BuildIdentityBlock(config_, config_.memoryStick ? config_.memoryStickMain : "");
    return std::vector<std::uint8_t>(block.begin(), block.begin() + static_cast<long>(length));
}

ReaderController::Reply ReaderController::Execute(const std::string& op,
                                                  const PassThroughRequest& r) {
    if (op == "Inquiry") {
        const auto data = BuildInquiryData(config_.inquiryVendor, config_.inquiryProduct,
                                           config_.inquiryRevision, true);
        return {true, std::vector<std::uint8_t>(data.begin(), data.end())};
    }
    if (op == "ReadIdentity") {
        if (ispMode_) return {};
        return {true, IdentityBytes(kSimIdentityBlockSize)};
    }
    if (op == "IspJump") {
        // Already in ISP mode it reports the jump again.
        ispMode_ = true;
        Report("IspJump", kJumpOk);
        return {true, {}};
    }
    if (op == "GetIspStatus") {
        std::vector<std::uint8_t> reply(8, 0);
        reply[0] = pendingStatus_;
        pendingStatus_ = 0;
        return {true, reply};
    }
    if (IsTransfer(op)) {
        if (!ispMode_) return {};
        const std::uint32_t exact = ExactCount(r);
        std::vector<std::uint8_t> payload(r.dataOut.begin(), r.dataOut.begin() + exact);
        if (op == "IspWrite") {
            firmware_ = std::move(payload);
            Report(op, kWriteOk);
        } else {
            Report(op, payload == firmware_ ? kVerifyOk : kVerifyMismatch);
        }
        return {true, {}};
    }
    // The 0xFF commands travel through the kernel driver.
    if (!environment_.kernelDriverInstalled) return {};
    if (op == "GetDeviceCount" || op == "GetLunCount") {
        std::vector<std::uint8_t> reply(8, 0);
        reply[0] = static_cast<std::uint8_t>(op == "GetDeviceCount" ? environment_.readerCount
                                                                    : unitCount());
        return {true, reply};
    }
    if (op == "ReadIdentityBlock" || op == "ReadIdentityBlock2") {
        const std::uint32_t address = static_cast<std::uint32_t>(r.cdb[2]) << 24 |
                                      static_cast<std::uint32_t>(r.cdb[3]) << 16 |
                                      static_cast<std::uint32_t>(r.cdb[4]) << 8 | r.cdb[5];
        if (ispMode_ || address != kIdentityBlockAddress) return {};
        return {true, IdentityBytes(512)};
    }
    return {};
}

IoctlOutcome ReaderController::UnitIoctl(std::uint32_t code, void* in, std::uint32_t inSize,
                                         void* out, std::uint32_t outSize,
                                         std::uint32_t* bytesReturned) {
    if (bytesReturned) *bytesReturned = 0;
    if (code != kPassThroughCode) return {false, "", "control code not served by a drive"};
    ParsedPassThrough parsed = ParsePassThrough(in, inSize, out, outSize);
    if (!parsed.request) return {false, "", parsed.reason};
    const PassThroughRequest& request = *parsed.request;
    const std::string op = OperationOf(request.cdb);
    if (parsed.reason.empty() && !op.empty()) parsed.reason = CheckCommand(op, request);
    if (!parsed.reason.empty())
        return {false, PassThroughDetails(request, request.scsiStatus), parsed.reason};
    // A command block the controller does not know fails in transport.
    if (op.empty() || CountAndCheckFailure(op))
        return {false, PassThroughDetails(request, request.scsiStatus), ""};

    const int n = RequestCount(op);
    auto injected = config_.scsiStatus.find(op + "#" + std::to_string(n));
    if (injected != config_.scsiStatus.end()) {
        const std::uint32_t moved = CompletePassThrough(in, out, request, injected->second, {});
        if (bytesReturned) *bytesReturned = moved;
        return {true, PassThroughDetails(request, injected->second), ""};
    }
    Reply reply = Execute(op, request);
    if (!reply.ok) return {false, PassThroughDetails(request, request.scsiStatus), ""};
    const std::uint32_t moved = CompletePassThrough(in, out, request, 0, reply.data);
    if (bytesReturned) *bytesReturned = moved;
    return {true, PassThroughDetails(request, 0), ""};
}

}  // namespace usbisp::sim
