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

    // Written by whoever takes the completion, before it sets done.
    bool error = false;
    bool matched = false;
    std::uint8_t status = 0;
    std::array<std::uint8_t, kReadIdentityLength> identity{};
    // The completion is taken once: by the routine, or by the requester when
    // the manager answered at once.
    std::atomic<bool> taken{false};
    std::atomic<bool> done{false};
    // The routine has run and touches the record no more.
    std::atomic<bool> routineGone{false};
    // The requester took the completion from the manager's answer: no routine
    // is to be waited for (a manager posts nothing after such an answer).
    bool answeredAtOnce = false;
};

namespace {

// The completion with its status: the request's results, then done.
void Finish(AspiRequest& r, std::uint8_t srbStatus) {
    const bool complete = srbStatus == aspi::kComplete;
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

void Completed(void* requestBlock) {
    // The block is the first member of its AspiBlock, which knows the request.
    // The request belongs to the requester's ASPI state, which keeps it until
    // the routine is gone: that is the last thing written here.
    auto* block = static_cast<AspiBlock*>(requestBlock);
    AspiRequest& r = *block->request;
    if (!r.taken.exchange(true, std::memory_order_acq_rel)) Finish(r, r.block.srb.SRB_Status);
    r.routineGone.store(true, std::memory_order_release);
}

// A routine may still run for the request: it was posted, or the manager
// called the routine itself before it answered.
bool RoutinePending(const AspiRequest& r) {
    return !r.answeredAtOnce && !r.routineGone.load(std::memory_order_acquire);
}

bool Outstanding(const AspiState& state) {
    return std::any_of(state.inFlight.begin(), state.inFlight.end(),
                       [](const std::shared_ptr<AspiRequest>& r) { return RoutinePending(*r); });
}

// Lets go of the records no routine can reach any more: those whose routine
// has run, and, once no reference to the library is held, those the manager
// answered at once.
void Sweep(AspiState& state) {
    const bool unloaded = state.library == 0 && state.keptLibrary == 0;
    std::erase_if(state.inFlight, [unloaded](const std::shared_ptr<AspiRequest>& r) {
        return r->routineGone.load(std::memory_order_acquire) || (unloaded && r->answeredAtOnce);
    });
}

// The kept reference goes once nothing is posted in the library any more.
void ReleaseKept(Platform& platform, AspiState& state) {
    Sweep(state);
    if (state.keptLibrary == 0 || Outstanding(state)) return;
    platform.FreeLibrary(state.keptLibrary);
    state.keptLibrary = 0;
    Sweep(state);
}

}  // namespace

std::uint8_t LoadAspi(Platform& platform, AspiState& state) {
    ReleaseKept(platform, state);
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
    Sweep(state);
    if (state.library != 0) {
        // Freeing the last reference would unload the code a posted
        // completion is still to run.
        if (Outstanding(state) && state.keptLibrary == 0) {
            state.keptLibrary = state.library;
        } else {
            platform.FreeLibrary(state.library);
        }
    }
    state.library = 0;
    state.getSupportInfo = {};
    state.sendCommand = {};
    ReleaseKept(platform, state);
}

void ReleaseAspiAtExit(Platform& platform, AspiState& state) {
    UnloadAspi(platform, state);
}

std::shared_ptr<AspiRequest> AspiTransport::Prepare(int kind, std::uint8_t adapter,
                                                    std::uint8_t target, const ScsiCommand& command,
                                                    std::uint32_t allocated) {
    if (!state_.sendCommand) return nullptr;
    // Requests given up on whose routine has run since are let go, and with
    // them a reference kept for them.
    ReleaseKept(platform_, state_);
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
    const std::uint32_t answer = state_.sendCommand(&request->block.srb);
    if (answer == aspi::kPending) return;
    // Answered at once: that status is the completion, unless a routine the
    // manager called before answering has taken it already (then the request
    // is done, or is about to be, as a posted one).
    if (request->taken.exchange(true, std::memory_order_acq_rel)) return;
    request->answeredAtOnce = true;
    Finish(*request, static_cast<std::uint8_t>(answer));
}

bool AspiTransport::Wait(const AspiRequest& request, std::uint32_t step) {
    std::uint32_t waited = 0;
    while (!request.done.load(std::memory_order_acquire)) {
        if (waited >= kAspiGiveUpMs) return false;
        platform_.Sleep(step);
        waited += step;
    }
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
    if (!Wait(*request, kDiscoveryPoll)) return false;
    matched = request->matched;
    return true;
}

bool AspiTransport::ReadIdentity(std::uint8_t adapter, std::uint8_t target,
                                 std::uint8_t* destination) {
    const ScsiCommand command = ReadIdentityCommand();
    auto request = Prepare(kReadIdentity, adapter, target, command, command.dataLength);
    if (!request) return false;
    Send(request);
    if (!Wait(*request, kDiscoveryPoll)) return false;
    std::copy(request->identity.begin(), request->identity.end(), destination);
    return !request->error;
}

bool AspiTransport::IspJump(std::uint8_t adapter, std::uint8_t target) {
    const ScsiCommand command = IspJumpCommand(CdbPath::Aspi);
    auto request = Prepare(kIspJump, adapter, target, command, kJumpBufferLength);
    if (!request) return false;
    Send(request);
    return Wait(*request, kIspPoll) && !request->error;
}

bool AspiTransport::GetIspStatus(std::uint8_t adapter, std::uint8_t target, std::uint8_t& status) {
    const ScsiCommand command = GetIspStatusCommand(CdbPath::Aspi);
    auto request = Prepare(kGetIspStatus, adapter, target, command, command.dataLength);
    if (!request) return false;
    Send(request);
    if (!Wait(*request, kIspPoll)) return false;
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
    return Wait(*request, kIspPoll) && !request->error;
}

}  // namespace usbisp
