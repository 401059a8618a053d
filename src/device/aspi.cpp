#include "device/aspi.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace usbisp {

namespace {

// How often the requester looks for the completion: discovery and the device
// check every 10 ms, the in-system-programming requests every 100 ms.
constexpr std::uint32_t kDiscoveryPoll = 10;
constexpr std::uint32_t kIspPoll = 100;
// How long past its command's time-out a request is waited for before it
// counts as failed.
constexpr std::uint32_t kWaitMarginMs = 1000;
constexpr std::uint32_t kJumpBufferLength = 40;  // allocated, though none is declared

enum Kind { kInquiry, kReadIdentity, kIspJump, kGetIspStatus, kIspTransfer };

bool Matches(const std::uint8_t* inquiry, const InquiryIdentity& identity) {
    // Vendor and product, compared up to a zero byte on either side.
    return std::strncmp(reinterpret_cast<const char*>(inquiry) + 8, identity.data(),
                        identity.size()) == 0;
}

void Completed(void* requestBlock);

}  // namespace

// One request: its block, its buffer, and what its completion leaves.
class AspiRequest {
  public:
    int kind = kInquiry;
    AspiBlock block{};
    std::unique_ptr<std::uint8_t[]> buffer;
    InquiryIdentity fb{};
    InquiryIdentity fa{};

    // Written by the completion routine before it sets done.
    bool error = false;
    bool matched = false;
    std::uint8_t status = 0;
    std::array<std::uint8_t, kReadIdentityLength> identity{};
    std::atomic<bool> done{false};
};

namespace {

void Completed(void* requestBlock) {
    // The block is the first member of its AspiBlock, which knows the request.
    // The request belongs to the requester's ASPI state, which keeps it until
    // it has seen done: done is the last thing written here.
    auto* block = static_cast<AspiBlock*>(requestBlock);
    AspiRequest& r = *block->request;
    const bool complete = r.block.srb.SRB_Status == aspi::kComplete;
    switch (r.kind) {
        case kInquiry:
            // An inquiry that fails is simply no match.
            r.matched =
                complete && (Matches(r.buffer.get(), r.fb) || Matches(r.buffer.get(), r.fa));
            break;
        case kReadIdentity:
            r.error = !complete;
            std::memcpy(r.identity.data(), r.buffer.get(), r.identity.size());
            break;
        case kGetIspStatus:
            r.error = !complete;
            r.status = r.buffer[0];
            break;
        default:
            r.error = !complete;
            break;
    }
    r.done.store(true, std::memory_order_release);
}

}  // namespace

std::uint8_t LoadAspi(Platform& platform, AspiState& state) {
    if (state.getSupportInfo && state.sendCommand) return 0;
    state.library = platform.LoadLibraryA(aspi::kLibrary);
    if (state.library == 0) return 1;
    state.getSupportInfo = platform.GetProcAddress(state.library, aspi::kGetSupportInfo);
    state.sendCommand = platform.GetProcAddress(state.library, aspi::kSendCommand);
    if (state.getSupportInfo && state.sendCommand) return 0;
    UnloadAspi(platform, state);
    return 2;
}

void UnloadAspi(Platform& platform, AspiState& state) {
    if (state.library != 0) platform.FreeLibrary(state.library);
    state.library = 0;
    state.getSupportInfo = {};
    state.sendCommand = {};
}

std::shared_ptr<AspiRequest> AspiTransport::Prepare(int kind, std::uint8_t adapter,
                                                    std::uint8_t target, const ScsiCommand& command,
                                                    std::uint32_t allocated) {
    if (!state_.sendCommand) return nullptr;
    // Requests given up on whose completion has come since are let go.
    std::erase_if(state_.inFlight, [](const std::shared_ptr<AspiRequest>& r) {
        return r->done.load(std::memory_order_acquire);
    });
    auto request = std::make_shared<AspiRequest>();
    request->kind = kind;
    request->buffer.reset(new (std::nothrow) std::uint8_t[allocated]());
    if (!request->buffer) return nullptr;
    aspi::SrbExecScsiCmd& srb = request->block.srb;
    srb.SRB_Cmd = aspi::kExecScsiCmd;
    srb.SRB_HaId = adapter;
    srb.SRB_Flags = aspi::kPosting | (command.dataIn ? aspi::kDirIn : aspi::kDirOut);
    srb.SRB_Target = target;
    srb.SRB_Lun = 0;
    srb.SRB_BufLen = command.dataLength;
    srb.SRB_BufPointer = request->buffer.get();
    srb.SRB_SenseLen = aspi::kSenseLength;
    srb.SRB_CDBLen = command.cdbLength;
    srb.SRB_PostProc = Completed;
    std::copy(command.cdb.begin(), command.cdb.end(), srb.CDBByte);
    request->block.request = request.get();
    return request;
}

void AspiTransport::Send(const std::shared_ptr<AspiRequest>& request) {
    // Kept for the completion routine, which may run before this returns.
    state_.inFlight.push_back(request);
    // The returned status is not used: the completion says it all.
    state_.sendCommand(&request->block.srb);
}

bool AspiTransport::Wait(const AspiRequest& request, std::uint32_t step,
                         std::uint32_t timeoutSeconds) {
    const std::uint32_t bound = timeoutSeconds * 1000 + kWaitMarginMs;
    std::uint32_t waited = 0;
    while (!request.done.load(std::memory_order_acquire)) {
        if (waited >= bound) return false;
        platform_.Sleep(step);
        waited += step;
    }
    // Its routine has run: the request is the requester's alone now.
    std::erase_if(state_.inFlight,
                  [&](const std::shared_ptr<AspiRequest>& r) { return r.get() == &request; });
    return true;
}

bool AspiTransport::Inquiry(std::uint8_t adapter, std::uint8_t target, const InquiryIdentity& fb,
                            const InquiryIdentity& fa, bool& matched) {
    matched = false;
    const ScsiCommand command = AspiInquiryCommand();
    auto request = Prepare(kInquiry, adapter, target, command, command.dataLength);
    if (!request) return false;
    request->fb = fb;
    request->fa = fa;
    Send(request);
    if (!Wait(*request, kDiscoveryPoll, command.timeoutSeconds)) return false;
    matched = request->matched;
    return true;
}

bool AspiTransport::ReadIdentity(std::uint8_t adapter, std::uint8_t target,
                                 std::uint8_t* destination) {
    const ScsiCommand command = ReadIdentityCommand();
    auto request = Prepare(kReadIdentity, adapter, target, command, command.dataLength);
    if (!request) return false;
    Send(request);
    if (!Wait(*request, kDiscoveryPoll, command.timeoutSeconds)) return false;
    std::copy(request->identity.begin(), request->identity.end(), destination);
    return !request->error;
}

bool AspiTransport::IspJump(std::uint8_t adapter, std::uint8_t target) {
    const ScsiCommand command = IspJumpCommand(CdbPath::Aspi);
    auto request = Prepare(kIspJump, adapter, target, command, kJumpBufferLength);
    if (!request) return false;
    Send(request);
    return Wait(*request, kIspPoll, command.timeoutSeconds) && !request->error;
}

bool AspiTransport::GetIspStatus(std::uint8_t adapter, std::uint8_t target, std::uint8_t& status) {
    const ScsiCommand command = GetIspStatusCommand(CdbPath::Aspi);
    auto request = Prepare(kGetIspStatus, adapter, target, command, command.dataLength);
    if (!request) return false;
    Send(request);
    if (!Wait(*request, kIspPoll, command.timeoutSeconds)) return false;
    // The byte is kept also when the request completed with an error.
    status = request->status;
    return !request->error;
}

bool AspiTransport::IspTransfer(std::uint8_t adapter, std::uint8_t target,
                                std::uint32_t exactLength, std::uint32_t roundedLength,
                                std::uint8_t mode, const std::uint8_t* image) {
    if (roundedLength == 0 || !TransferDescribable(exactLength, roundedLength)) return false;
    const ScsiCommand command = IspTransferCommand(exactLength, roundedLength, mode);
    // A buffer that cannot be had refuses the transfer before anything is sent.
    auto request = Prepare(kIspTransfer, adapter, target, command, roundedLength);
    if (!request) return false;
    std::copy(image, image + roundedLength, request->buffer.get());
    Send(request);
    return Wait(*request, kIspPoll, command.timeoutSeconds) && !request->error;
}

}  // namespace usbisp
