#include "platform/sim/recorded_aspi.h"

#include <algorithm>
#include <cstring>

#include "platform/printf_text.h"
#include "platform/sim/crc32.h"
#include "platform/sim/replay.h"

namespace usbisp::sim {

namespace {

using rec::Call;
using rec::Event;

// What ASPI knows at once, without a device: the bench shows no data of
// such a request.
constexpr std::uint8_t kInvalidSrb = 0xE0;  // SS_INVALID_SRB

bool ImmediateFailure(std::uint8_t status) {
    return status == kInvalidSrb || status == aspi::kInvalidHa || status == aspi::kNoDevice;
}

std::string Key(Call call, const std::string& path = {}) {
    return std::string(rec::CallName(call)) + (path.empty() ? "" : " " + path);
}

std::uint32_t CallSupportInfo(void* library, void*) {
    return static_cast<RecordedAspi*>(library)->GetSupportInfo();
}

std::uint32_t CallSendCommand(void* library, void* block) {
    return static_cast<RecordedAspi*>(library)->SendCommand(
        static_cast<aspi::SrbExecScsiCmd*>(block));
}

// The first field in which the block differs from the recorded request;
// empty when it asks the same.
std::string Difference(const Event& e, const aspi::SrbExecScsiCmd& b) {
    if (e.adapter != b.SRB_HaId || e.target != b.SRB_Target || e.lun != b.SRB_Lun)
        return "the address";
    if (e.aspiFlags != b.SRB_Flags) return "the flags";
    if (e.bufferLength != b.SRB_BufLen || e.senseLength != b.SRB_SenseLen) return "the lengths";
    if (e.cdbLength != b.SRB_CDBLen || e.cdb.size() > sizeof b.CDBByte ||
        !std::equal(e.cdb.begin(), e.cdb.end(), b.CDBByte))
        return "the command block";
    if ((b.SRB_Flags & aspi::kDirOut) != 0) {
        const std::size_t length = std::min<std::size_t>(b.SRB_BufLen, rec::kMaxBufferBytes);
        if (e.dataOut.size() != length || (length > 0 && b.SRB_BufPointer == nullptr) ||
            !std::equal(e.dataOut.begin(), e.dataOut.end(), b.SRB_BufPointer))
            return "the data going out";
    }
    return {};
}

}  // namespace

RecordedAspi::RecordedAspi(std::shared_ptr<const rec::Recording> recording, std::string name,
                           std::function<void(const std::string&)> trace)
    : recording_(std::move(recording)), name_(std::move(name)), trace_(std::move(trace)) {
    for (const Event& e : recording_->events) {
        switch (e.call) {
            case Call::LoadLibraryA:
            case Call::GetASPI32SupportInfo:
            case Call::SendASPI32Command:
                recorded_[Key(e.call)].push_back(&e);
                break;
            case Call::GetProcAddress:
                recorded_[Key(e.call, e.path)].push_back(&e);
                break;
            case Call::SRB_PostProc:
                completions_.emplace(e.request, &e);
                break;
            default:
                break;
        }
    }
}

bool RecordedAspi::Records(const rec::Recording& recording) {
    return std::any_of(recording.events.begin(), recording.events.end(),
                       [](const Event& e) { return e.call == Call::LoadLibraryA && e.ok; });
}

std::string RecordedAspi::EventNumber(const Event& event) const {
    return "event " + std::to_string(&event - recording_->events.data() + 1);
}

void RecordedAspi::Mismatch(const std::string& asked, const std::string& nearest) {
    failed_ = true;
    throw ReplayMismatch(name_ + ": ASPI call " + std::to_string(asked_) + ", " + asked +
                         ", has no answer in the recording; " + nearest);
}

const Event& RecordedAspi::Next(Call call, const std::string& path, const std::string& asked) {
    ++asked_;
    const std::string key = Key(call, path);
    const auto found = recorded_.find(key);
    std::size_t& used = used_[key];
    if (found == recorded_.end() || used >= found->second.size())
        Mismatch(asked, recording_->cut ? "the recording was cut at its size bound before this call"
                                        : "the recording holds no more " + key);
    return *found->second[used++];
}

bool RecordedAspi::CallFails(const std::string& name) {
    if (failed_) return true;
    if (name != "LoadLibrary") return false;
    return !Next(Call::LoadLibraryA, {}, "LoadLibraryA").ok;
}

EntryPoint RecordedAspi::Entry(const std::string& name) {
    if (failed_) return {};
    if (!Next(Call::GetProcAddress, name, "GetProcAddress \"" + name + "\"").ok) return {};
    if (name == aspi::kGetSupportInfo) return {CallSupportInfo, this};
    if (name == aspi::kSendCommand) return {CallSendCommand, this};
    return {};
}

std::uint32_t RecordedAspi::GetSupportInfo() {
    if (failed_) return 0;
    const std::uint32_t answer = Next(Call::GetASPI32SupportInfo, {}, "GetASPI32SupportInfo").value;
    trace_(Printf("aspi info 0x%x", answer));
    return answer;
}

std::uint32_t RecordedAspi::SendCommand(aspi::SrbExecScsiCmd* block) {
    if (block == nullptr || failed_) return kInvalidSrb;
    aspi::SrbExecScsiCmd& b = *block;
    const std::string asked = "SendASPI32Command " + AspiRequestText(b);
    const Event& request = Next(Call::SendASPI32Command, {}, asked);
    const std::string differs = Difference(request, b);
    if (!differs.empty())
        Mismatch(asked, "the next recorded request is " + EventNumber(request) + ": " +
                            rec::DescribeCall(request) + " (" + differs + " differs)");
    const auto found = completions_.find(request.request);
    const Event* completion = found == completions_.end() ? nullptr : found->second;
    const std::uint8_t status =
        completion ? completion->status : static_cast<std::uint8_t>(request.value);
    std::string line = "aspi exec " + AspiRequestText(b) + Printf(" status=%02x", status);
    if ((b.SRB_Flags & aspi::kDirOut) != 0 && b.SRB_BufLen > 0 && b.SRB_BufPointer != nullptr &&
        !ImmediateFailure(status))
        line += Printf(" data=%08x", Crc32(b.SRB_BufPointer, b.SRB_BufLen));
    trace_(line);

    b.SRB_Status =
        request.value == aspi::kPending ? aspi::kPending : static_cast<std::uint8_t>(request.value);
    if (completion && completion->sleeps == 0) {
        // It came before the program looked: before the submission returns.
        Deliver(b, *completion);
    } else if (completion) {
        pending_.push_back({&b, completion, completion->sleeps});
    } else if (request.value == aspi::kPending) {
        ++hung_;
    }
    return request.value;
}

void RecordedAspi::Deliver(aspi::SrbExecScsiCmd& b, const Event& completion) {
    if (b.SRB_BufPointer != nullptr && !completion.dataIn.empty())
        std::memcpy(b.SRB_BufPointer, completion.dataIn.data(),
                    std::min<std::size_t>(completion.dataIn.size(), b.SRB_BufLen));
    if (!completion.sense.empty())
        std::memcpy(
            b.SenseArea, completion.sense.data(),
            std::min<std::size_t>({completion.sense.size(), b.SRB_SenseLen, sizeof b.SenseArea}));
    b.SRB_HaStat = completion.hostStatus;
    b.SRB_TargStat = completion.targetStatus;
    b.SRB_Status = completion.status;
    // The routine may let the block go: nothing touches it afterwards.
    if (b.SRB_PostProc != nullptr) worker_.Run([&b] { b.SRB_PostProc(&b); });
}

void RecordedAspi::DeliverDue() {
    std::vector<Pending> due;
    for (Pending& p : pending_)
        if (--p.waitsLeft == 0) due.push_back(p);
    std::erase_if(pending_, [](const Pending& p) { return p.waitsLeft == 0; });
    for (const Pending& p : due) Deliver(*p.block, *p.completion);
}

std::size_t RecordedAspi::Posted() const {
    return hung_ + pending_.size();
}

}  // namespace usbisp::sim
