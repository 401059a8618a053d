// The recorder's side of ASPI: its two entry points, and the completion
// routine it puts into each posting request block in place of the
// program's (recorder.h).
#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>

#include "platform/aspi.h"
#include "platform/recorder.h"

namespace usbisp::rec {

namespace {

// A request block handed to ASPI with the recorder's routine in it.
struct PostedBlock {
    aspi::PostProc routine = nullptr;  // the program's
    Recorder* recorder = nullptr;
    std::uint32_t request = 0;
    std::uint32_t sleepsAtSubmission = 0;
    // SendASPI32Command has not returned yet: a completion waits to be
    // written after its request.
    bool submitting = true;
    std::optional<Event> deferred;
};

// The routine is handed nothing but the block: it finds what belongs to it
// here, whichever thread ASPI calls it on. A block stays here until its
// routine has run, also past the recorder's end, so that the program's
// routine is always there to be called; one answered at once without its
// routine stays until a later block takes its place.
struct AspiWatch {
    ThreadLock lock;
    std::set<Recorder*> recorders;  // alive
    std::map<const void*, PostedBlock> posted;
};

AspiWatch& Watch() {
    static AspiWatch watch;
    return watch;
}

void RecordedCompletion(void* block) {
    AspiWatch& watch = Watch();
    aspi::PostProc routine = nullptr;
    {
        Locked locked(watch.lock);
        const auto found = watch.posted.find(block);
        // Only blocks entered here carry this routine.
        if (found == watch.posted.end()) return;
        PostedBlock& posted = found->second;
        routine = posted.routine;
        if (watch.recorders.count(posted.recorder) != 0) {
            Event event =
                posted.recorder->AspiCompletion(block, posted.request, posted.sleepsAtSubmission);
            if (posted.submitting) {
                posted.deferred = std::move(event);
            } else {
                posted.recorder->Write(event);
            }
        }
        static_cast<aspi::SrbExecScsiCmd*>(block)->SRB_PostProc = routine;
        if (!posted.submitting) watch.posted.erase(found);
    }
    // The program's routine may let the block go: nothing touches it after.
    routine(block);
}

std::uint32_t CallSupportInfo(void* recorder, void*) {
    return static_cast<Recorder*>(recorder)->AspiSupportInfo();
}

std::uint32_t CallSend(void* recorder, void* block) {
    return static_cast<Recorder*>(recorder)->AspiSend(block);
}

std::vector<std::uint8_t> Bytes(const std::uint8_t* data, std::uint32_t size) {
    if (data == nullptr) return std::vector<std::uint8_t>(size, 0);
    return std::vector<std::uint8_t>(data, data + size);
}

}  // namespace

void Recorder::EnlistForAspi() {
    Locked locked(Watch().lock);
    Watch().recorders.insert(this);
}

void Recorder::RetireFromAspi() {
    Locked locked(Watch().lock);
    Watch().recorders.erase(this);
}

EntryPoint Recorder::WrapAspiEntry(const char* name, EntryPoint entry) {
    if (!entry || name == nullptr) return entry;
    if (std::strcmp(name, aspi::kGetSupportInfo) == 0) {
        aspiSupportInfo_ = entry;
        return {CallSupportInfo, this};
    }
    if (std::strcmp(name, aspi::kSendCommand) == 0) {
        aspiSend_ = entry;
        return {CallSend, this};
    }
    return entry;
}

std::uint32_t Recorder::AspiSupportInfo() {
    Event event = Start(Call::GetASPI32SupportInfo);
    event.value = aspiSupportInfo_();
    Write(event);
    return event.value;
}

std::uint32_t Recorder::AspiSend(void* block) {
    if (block == nullptr) return aspiSend_(block);
    auto& b = *static_cast<aspi::SrbExecScsiCmd*>(block);
    Event event = Start(Call::SendASPI32Command);
    event.request = ++aspiRequests_;
    event.adapter = b.SRB_HaId;
    event.target = b.SRB_Target;
    event.lun = b.SRB_Lun;
    event.aspiFlags = b.SRB_Flags;
    event.bufferLength = b.SRB_BufLen;
    event.senseLength = b.SRB_SenseLen;
    event.cdbLength = b.SRB_CDBLen;
    event.cdb = Bytes(b.CDBByte, std::min<std::uint32_t>(b.SRB_CDBLen, sizeof b.CDBByte));
    if ((b.SRB_Flags & aspi::kDirOut) != 0)
        event.dataOut = Bytes(b.SRB_BufPointer, std::min(b.SRB_BufLen, kMaxBufferBytes));
    const bool posting = (b.SRB_Flags & aspi::kPosting) != 0 && b.SRB_PostProc != nullptr;
    AspiWatch& watch = Watch();
    if (posting) {
        Locked locked(watch.lock);
        PostedBlock& posted = watch.posted[block];
        posted = PostedBlock{};
        posted.routine = b.SRB_PostProc;
        posted.recorder = this;
        posted.request = event.request;
        posted.sleepsAtSubmission = sleepsBegun_;
        b.SRB_PostProc = RecordedCompletion;
    }
    // From here the block is ASPI's until its routine has run.
    event.value = aspiSend_(block);
    Locked locked(watch.lock);
    Write(event);
    if (!posting) return event.value;
    const auto found = watch.posted.find(block);
    if (found == watch.posted.end() || found->second.recorder != this ||
        found->second.request != event.request)
        return event.value;
    found->second.submitting = false;
    if (found->second.deferred) {
        Write(*found->second.deferred);
        watch.posted.erase(found);
    }
    return event.value;
}

Event Recorder::AspiCompletion(const void* block, std::uint32_t request,
                               std::uint32_t sleepsAtSubmission) const {
    const auto& b = *static_cast<const aspi::SrbExecScsiCmd*>(block);
    Event event = Start(Call::SRB_PostProc);
    event.request = request;
    event.sleeps = sleepsBegun_ - sleepsAtSubmission;
    event.status = b.SRB_Status;
    event.hostStatus = b.SRB_HaStat;
    event.targetStatus = b.SRB_TargStat;
    if ((b.SRB_Flags & aspi::kDirIn) != 0)
        event.dataIn = Bytes(b.SRB_BufPointer, std::min(b.SRB_BufLen, kMaxBufferBytes));
    // The sense of a request that did not complete.
    if (b.SRB_Status != aspi::kComplete)
        event.sense =
            Bytes(b.SenseArea, std::min<std::uint32_t>(b.SRB_SenseLen, sizeof b.SenseArea));
    return event;
}

}  // namespace usbisp::rec
