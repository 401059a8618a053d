#include "emulator/controller.h"

#include <algorithm>

#include "emulator/firmware_identity.h"
#include "emulator/reader_identity.h"

namespace usbisp::sim {

namespace {

constexpr std::uint32_t kIdentityBlockAddress = 0x04A55A30u;
constexpr std::size_t kIdentityBlockReadLength = 512;
constexpr std::size_t kCountReplyLength = 8;
constexpr std::size_t kFirmwareRevisionLength = 8;
constexpr std::uint8_t kJumpOk = 0x9C;
constexpr std::uint8_t kWriteOk = 0xA5;
constexpr std::uint8_t kVerifyOk = 0x5A;
constexpr std::uint8_t kVerifyMismatch = 0x33;

ControllerReply Done(std::vector<std::uint8_t> data = {}) {
    return {ControllerReply::Outcome::Done, 0, std::move(data)};
}

ControllerReply Refused() {
    return {};
}

bool IsBlockRead(Operation op) {
    return op == Operation::ReadIdentityBlock || op == Operation::ReadIdentityBlock2;
}

}  // namespace

ReaderController::ReaderController(ReaderConfig config, ReaderEnvironment environment)
    : config_(std::move(config)), environment_(environment), firmware_(config_.firmware) {
    if (config_.memoryStick) companion_.emplace(config_.memoryStickMain, config_.memoryStickLoader);
}

int ReaderController::RequestCount(Operation op) const {
    auto it = requestCounts_.find(op);
    return it == requestCounts_.end() ? 0 : it->second;
}

bool ReaderController::CountAndCheckFailure(Operation op) {
    const int n = ++requestCounts_[op];
    const std::string name = OperationName(op);
    const std::string numbered = name + "#" + std::to_string(n);
    return std::any_of(config_.failures.begin(), config_.failures.end(),
                       [&](const std::string& f) { return f == name || f == numbered; });
}

bool ReaderController::OpenUnit() {
    return !CountAndCheckFailure(Operation::Open);
}

void ReaderController::Replug() {
    ispMode_ = false;
    pendingStatus_ = 0;
    if (companion_) companion_->Replug();
    // Back from its ISP code the controller runs the firmware it holds, and
    // tells the strings that firmware carries.
    if (config_.identityLayout) TakeFirmwareIdentity(firmware_, *config_.identityLayout, config_);
}

void ReaderController::Report(Operation command, std::uint8_t soundStatus) {
    pendingStatus_ = soundStatus;
    const std::string name = OperationName(command);
    auto it = config_.answers.find(name);
    if (it == config_.answers.end()) return;
    std::size_t& used = answersUsed_[name];
    if (used < it->second.size()) pendingStatus_ = it->second[used++];
}

std::vector<std::uint8_t> ReaderController::IdentityBytes(std::size_t length) const {
    const auto block = BuildIdentityBlock(config_, companion_ ? companion_->revision() : "");
    return std::vector<std::uint8_t>(block.begin(), block.begin() + static_cast<long>(length));
}

ControllerReply ReaderController::Handle(const ControllerRequest& request) {
    if (CountAndCheckFailure(request.op)) return {ControllerReply::Outcome::Failed, 0, {}};
    const std::string name = OperationName(request.op);
    const std::string numbered = name + "#" + std::to_string(RequestCount(request.op));
    if (std::any_of(config_.hangs.begin(), config_.hangs.end(),
                    [&](const std::string& h) { return h == name || h == numbered; }))
        return {ControllerReply::Outcome::Hung, 0, {}};
    auto injected = config_.scsiStatus.find(numbered);
    if (injected != config_.scsiStatus.end())
        return {ControllerReply::Outcome::Status, injected->second, {}};
    return Execute(request);
}

std::optional<ControllerReply> ReaderController::Companion(const ControllerRequest& r) {
    switch (r.op) {
        case Operation::WriteAddressedBlock:
            if (!companion_ || !MsCompanion::IsSwitch(r.address, r.payload)) return Refused();
            companion_->Switch();
            Report(Operation::MsJump, kJumpOk);
            return Done();
        case Operation::IspWrite:
            if (!companion_ || !companion_->inLoader()) return std::nullopt;
            companion_->Store(r.payload);
            Report(Operation::IspWrite, kWriteOk);
            return Done();
        case Operation::IspVerify:
            if (!companion_ || !companion_->inLoader()) return std::nullopt;
            Report(Operation::IspVerify, companion_->Holds(r.payload) ? kWriteOk : kVerifyMismatch);
            return Done();
        default:
            return std::nullopt;
    }
}

ControllerReply ReaderController::Execute(const ControllerRequest& r) {
    if (auto reply = Companion(r)) return *reply;
    switch (r.op) {
        case Operation::Inquiry: {
            const auto data = BuildInquiryData(config_.inquiryVendor, config_.inquiryProduct,
                                               config_.inquiryRevision, true);
            return Done(std::vector<std::uint8_t>(data.begin(), data.end()));
        }
        case Operation::ReadIdentity:
            if (ispMode_) return Refused();
            return Done(IdentityBytes(kSimIdentityBlockSize));
        case Operation::IspJump:
            // Already in ISP mode it reports the jump again.
            ispMode_ = true;
            Report(Operation::IspJump, kJumpOk);
            return Done();
        case Operation::GetIspStatus: {
            std::vector<std::uint8_t> reply(kCountReplyLength, 0);
            reply[0] = pendingStatus_;
            pendingStatus_ = 0;
            return Done(reply);
        }
        case Operation::IspWrite:
            if (!ispMode_) return Refused();
            firmware_ = r.payload;
            Report(Operation::IspWrite, kWriteOk);
            return Done();
        case Operation::IspVerify:
            if (!ispMode_) return Refused();
            Report(Operation::IspVerify, r.payload == firmware_ ? kVerifyOk : kVerifyMismatch);
            return Done();
        case Operation::GetFirmwareRevision: {
            // Only a port driver asks it; the answer is the USB 2.0 revision.
            std::vector<std::uint8_t> revision = config_.usb20FirmwareRevision;
            revision.resize(kFirmwareRevisionLength, 0);
            return Done(revision);
        }
        default:
            break;
    }
    // The 0xFF commands reach a drive only through the kernel driver.
    if (r.carrier == Carrier::PassThrough && !environment_.kernelDriverInstalled) return Refused();
    if (r.op == Operation::GetDeviceCount || r.op == Operation::GetLunCount) {
        std::vector<std::uint8_t> reply(kCountReplyLength, 0);
        reply[0] = static_cast<std::uint8_t>(
            r.op == Operation::GetDeviceCount ? environment_.readerCount : unitCount());
        return Done(reply);
    }
    if (IsBlockRead(r.op)) {
        if (ispMode_ || r.address != kIdentityBlockAddress) return Refused();
        return Done(IdentityBytes(kIdentityBlockReadLength));
    }
    return Refused();
}

}  // namespace usbisp::sim
