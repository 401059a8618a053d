#include "platform/sim/aspi_library.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "emulator/operations.h"
#include "emulator/reader_identity.h"
#include "platform/printf_text.h"
#include "platform/sim/crc32.h"
#include "platform/sim/transcript_text.h"

namespace usbisp::sim {

namespace {

constexpr std::uint8_t kInvalidSrb = 0xE0;  // SS_INVALID_SRB
constexpr std::uint8_t kNoAdapters = 0xE8;  // SS_NO_ADAPTERS
constexpr std::uint8_t kCheckCondition = 0x02;
constexpr std::uint32_t kBlock = 512;
constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();

// What the manager knows at once, without a device.
bool ImmediateFailure(std::uint8_t status) {
    return status == kInvalidSrb || status == aspi::kInvalidHa || status == aspi::kNoDevice;
}

// A completion arriving: its data into the buffer, its status into the block,
// then the routine, which may free the block: nothing touches it afterwards.
void Deliver(aspi::SrbExecScsiCmd& b, const std::vector<std::uint8_t>& data,
             std::uint8_t targetStatus, std::uint8_t status) {
    if (!data.empty() && b.SRB_BufPointer != nullptr)
        std::memcpy(b.SRB_BufPointer, data.data(),
                    std::min<std::size_t>(data.size(), b.SRB_BufLen));
    b.SRB_TargStat = targetStatus;
    b.SRB_Status = status;
    b.SRB_PostProc(&b);
}

std::uint32_t CallSupportInfo(void* library, void*) {
    return static_cast<AspiLibrary*>(library)->GetSupportInfo();
}

std::uint32_t CallSendCommand(void* library, void* block) {
    return static_cast<AspiLibrary*>(library)->SendCommand(
        static_cast<aspi::SrbExecScsiCmd*>(block));
}

// What the block must hold for its command; empty when it does.
std::string CheckCommand(Operation op, const aspi::SrbExecScsiCmd& b) {
    const bool in = (b.SRB_Flags & aspi::kDirIn) != 0;
    struct Wanted {
        std::uint8_t cdbLength;
        bool in;
        std::uint32_t length;
    };
    Wanted wanted{12, true, 0};
    switch (op) {
        case Operation::Inquiry:
            wanted = {6, true, 40};
            break;
        case Operation::ReadIdentity:
            wanted = {12, true, 528};
            break;
        case Operation::IspJump:
            if (b.CDBByte[5] != 0x08) return "IspJump carries 0x08 in byte 5 through ASPI";
            break;
        case Operation::GetIspStatus:
            wanted = {12, true, 28};
            break;
        case Operation::IspWrite:
        case Operation::IspVerify: {
            wanted = {12, false, b.CDBByte[6] * kBlock};
            const std::uint32_t exact =
                static_cast<std::uint32_t>(b.CDBByte[4] | b.CDBByte[5] << 8);
            if (exact > b.SRB_BufLen)
                return Printf("byte count %u above SRB_BufLen %u", exact, b.SRB_BufLen);
            break;
        }
        default:
            return std::string(OperationName(op)) + " is not served through ASPI";
    }
    if (b.SRB_CDBLen != wanted.cdbLength)
        return Printf("SRB_CDBLen %u is not %u", b.SRB_CDBLen, wanted.cdbLength);
    if (in != wanted.in) return std::string(OperationName(op)) + " goes the other direction";
    if (b.SRB_BufLen != wanted.length)
        return Printf("SRB_BufLen %u is not %u", b.SRB_BufLen, wanted.length);
    return {};
}

// What ASPI itself checks in every block.
std::string CheckBlock(const aspi::SrbExecScsiCmd& b) {
    if (b.SRB_Cmd != aspi::kExecScsiCmd)
        return Printf("SRB_Cmd 0x%x is not SC_EXEC_SCSI_CMD", b.SRB_Cmd);
    if ((b.SRB_Flags & aspi::kPosting) == 0 || b.SRB_PostProc == nullptr)
        return "no completion routine to post";
    const std::uint8_t direction = b.SRB_Flags & (aspi::kDirIn | aspi::kDirOut);
    if (direction != aspi::kDirIn && direction != aspi::kDirOut)
        return Printf("SRB_Flags 0x%x name no single direction", b.SRB_Flags);
    if (b.SRB_Lun != 0) return Printf("SRB_Lun %u is not 0", b.SRB_Lun);
    if (b.SRB_SenseLen > sizeof b.SenseArea)
        return Printf("SRB_SenseLen %u is past the sense area", b.SRB_SenseLen);
    if (b.SRB_CDBLen == 0 || b.SRB_CDBLen > sizeof b.CDBByte)
        return Printf("SRB_CDBLen %u is not 1 to 16", b.SRB_CDBLen);
    if (b.SRB_BufLen > 0 && b.SRB_BufPointer == nullptr) return "no data buffer";
    return {};
}

}  // namespace

AspiLibrary::AspiLibrary(const BenchConfig& config,
                         std::vector<std::shared_ptr<ReaderController>> readers,
                         std::function<std::uint64_t()> now,
                         std::function<void(const std::string&)> trace)
    : config_(config),
      readers_(std::move(readers)),
      now_(std::move(now)),
      trace_(std::move(trace)) {
    for (const ReaderConfig& reader : config_.readers)
        addresses_.emplace_back(reader.aspiAdapter, reader.aspiTarget);
    if (config_.aspiAsync) async_ = std::make_unique<TimedThread>(now_);
}

bool AspiLibrary::CallFails(const std::string& name) {
    const std::string numbered = name + "#" + std::to_string(++calls_[name]);
    return std::any_of(config_.aspiFailures.begin(), config_.aspiFailures.end(),
                       [&](const std::string& f) { return f == name || f == numbered; });
}

void AspiLibrary::SwapWhenDue() {
    if (!config_.aspiSwap || config_.aspiSwap->after != requests_) return;
    std::swap(addresses_[static_cast<std::size_t>(config_.aspiSwap->first)],
              addresses_[static_cast<std::size_t>(config_.aspiSwap->second)]);
}

std::size_t AspiLibrary::Posted() const {
    return hung_ + (async_ ? async_->Waiting() : pending_.size());
}

EntryPoint AspiLibrary::Entry(const std::string& name) {
    const bool missing = std::find(config_.aspiMissing.begin(), config_.aspiMissing.end(), name) !=
                         config_.aspiMissing.end();
    if (missing) return {};
    if (name == aspi::kGetSupportInfo) return {CallSupportInfo, this};
    if (name == aspi::kSendCommand) return {CallSendCommand, this};
    return {};
}

std::uint32_t AspiLibrary::GetSupportInfo() {
    const std::uint32_t answer = CallFails("GetASPI32SupportInfo")
                                     ? static_cast<std::uint32_t>(kNoAdapters) << 8
                                     : static_cast<std::uint32_t>(config_.aspiState) << 8 |
                                           static_cast<std::uint32_t>(config_.aspiAdapters & 0xFF);
    trace_(Printf("aspi info 0x%x", answer));
    return answer;
}

std::shared_ptr<ReaderController> AspiLibrary::ReaderAt(std::uint8_t adapter,
                                                        std::uint8_t target) const {
    for (std::size_t i = 0; i < readers_.size() && i < addresses_.size(); ++i)
        if (addresses_[i].first == adapter && addresses_[i].second == target) return readers_[i];
    return nullptr;
}

AspiLibrary::Completion AspiLibrary::Carry(aspi::SrbExecScsiCmd& b, std::string& details,
                                           std::string& reason) {
    Completion c;
    c.block = &b;
    c.due = now_() + static_cast<std::uint64_t>(config_.aspiLatency);
    reason = CheckBlock(b);
    if (!reason.empty()) {
        c.status = kInvalidSrb;
        return c;
    }
    if (b.SRB_HaId >= config_.aspiAdapters) {
        c.status = aspi::kInvalidHa;
        return c;
    }
    const auto reader = ReaderAt(b.SRB_HaId, b.SRB_Target);
    if (!reader) {
        c.status = aspi::kNoDevice;
        return c;
    }
    std::array<std::uint8_t, 16> cdb{};
    std::copy(std::begin(b.CDBByte), std::end(b.CDBByte), cdb.begin());
    const std::optional<Operation> op = OperationOf(cdb);
    if (!op) {
        // A command block the controller does not know.
        c.status = aspi::kError;
        c.targetStatus = kCheckCondition;
        return c;
    }
    reason = CheckCommand(*op, b);
    if (!reason.empty()) {
        c.status = kInvalidSrb;
        return c;
    }
    if ((*op == Operation::IspWrite || *op == Operation::IspVerify) && !TransferFits(cdb)) {
        // More blocks than the controller's buffer holds: the reader refuses
        // the command.
        c.status = aspi::kError;
        c.targetStatus = kCheckCondition;
        return c;
    }
    ControllerRequest request;
    request.op = *op;
    request.carrier = Carrier::Aspi;
    if (*op == Operation::IspWrite || *op == Operation::IspVerify) {
        const std::uint32_t exact = static_cast<std::uint32_t>(b.CDBByte[4] | b.CDBByte[5] << 8);
        request.payload.assign(b.SRB_BufPointer, b.SRB_BufPointer + exact);
        details += Printf(" data=%08x", Crc32(b.SRB_BufPointer, b.SRB_BufLen));
    }
    const ControllerReply reply = reader->Handle(request);
    const auto delay = reader->config().delays.find(std::string(OperationName(*op)) + "#" +
                                                    std::to_string(reader->RequestCount(*op)));
    if (delay != reader->config().delays.end())
        c.due = now_() + static_cast<std::uint64_t>(delay->second);
    switch (reply.outcome) {
        case ControllerReply::Outcome::Done:
            c.status = aspi::kComplete;
            c.data = reply.data;
            if (*op == Operation::Inquiry || *op == Operation::GetIspStatus)
                c.data.resize(b.SRB_BufLen, 0);
            break;
        case ControllerReply::Outcome::Hung:
            c.status = aspi::kPending;
            c.due = kNever;
            break;
        case ControllerReply::Outcome::Status:
            c.status = aspi::kError;
            c.targetStatus = reply.scsiStatus;
            break;
        case ControllerReply::Outcome::Refused:
            c.status = aspi::kError;
            c.targetStatus = kCheckCondition;
            break;
        case ControllerReply::Outcome::Failed:
            c.status = aspi::kError;
            break;
    }
    return c;
}

std::uint32_t AspiLibrary::SendCommand(aspi::SrbExecScsiCmd* block) {
    if (block == nullptr) return kInvalidSrb;
    SwapWhenDue();
    ++requests_;
    aspi::SrbExecScsiCmd& b = *block;
    std::string details = AspiRequestText(b);
    std::string reason;
    Completion completion = Carry(b, details, reason);
    std::string line = "aspi exec " + details.substr(0, details.find(" data=")) +
                       Printf(" status=%02x", completion.status);
    if (details.find(" data=") != std::string::npos) line += details.substr(details.find(" data="));
    if (!reason.empty()) line += " reason=" + QuoteText(reason);
    trace_(line);

    const std::uint8_t status = completion.status;
    if (ImmediateFailure(status) && config_.aspiImmediate != AspiImmediate::Post) {
        b.SRB_Status = status;
        // The routine, when it is called, runs before the answer, as the
        // caller's own manager thread would run it.
        if (config_.aspiImmediate == AspiImmediate::ReturnAndPost)
            worker_.Run([&b, status] { Deliver(b, {}, 0, status); });
        return status;
    }
    b.SRB_Status = aspi::kPending;
    if (completion.due == kNever) {
        ++hung_;
        return aspi::kPending;
    }
    completion.order = order_++;
    if (async_) {
        const std::uint64_t due = completion.due;
        async_->Post(due, [c = std::move(completion)] {
            Deliver(*c.block, c.data, c.targetStatus, c.status);
        });
        return aspi::kPending;
    }
    pending_.push_back(std::move(completion));
    // Without latency the completion comes before the submission returns.
    DeliverDue();
    return aspi::kPending;
}

void AspiLibrary::DeliverDue() {
    if (async_) return;
    for (;;) {
        auto next = std::min_element(pending_.begin(), pending_.end(),
                                     [](const Completion& a, const Completion& b) {
                                         return a.due != b.due ? a.due < b.due : a.order < b.order;
                                     });
        if (next == pending_.end() || next->due > now_()) return;
        const Completion completion = std::move(*next);
        pending_.erase(next);
        worker_.Run([&completion] {
            Deliver(*completion.block, completion.data, completion.targetStatus, completion.status);
        });
    }
}

}  // namespace usbisp::sim
