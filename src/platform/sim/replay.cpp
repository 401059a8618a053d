#include "platform/sim/replay.h"

#include <algorithm>
#include <cstring>

#include "platform/ascii_case.h"
#include "platform/port_driver_output.h"
#include "platform/scsi_pass_through.h"
#include "platform/sim/port_driver_device.h"
#include "platform/win_constants.h"

namespace usbisp::sim {

namespace {

using rec::Call;
using rec::Event;

bool DeviceCall(Call call) {
    return call == Call::CreateFileA || call == Call::DeviceIoControl || call == Call::CloseHandle;
}

// The first byte at which two inputs differ; their common length when one
// is the start of the other.
std::size_t FirstDifference(const std::vector<std::uint8_t>& a,
                            const std::vector<std::uint8_t>& b) {
    const auto pair = std::mismatch(a.begin(), a.begin() + std::min(a.size(), b.size()), b.begin());
    return static_cast<std::size_t>(pair.first - a.begin());
}

std::size_t CountDifferences(const std::vector<std::uint8_t>& a,
                             const std::vector<std::uint8_t>& b) {
    std::size_t count = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) count += a[i] != b[i];
    return count;
}

// Where a request record carries a buffer's address (its low 32 bits): the
// kernel driver's records and the port drivers' 16-byte ones at 12, the
// 40-byte command record of code 66 at 36. The address is the process's
// own and differs from run to run; the driver never shows it.
std::optional<std::size_t> AddressAt(std::uint32_t code, std::uint32_t inSize) {
    const bool kernelDriver = code == 0x222004u || code == 0x222008u || code == 0x22200Cu;
    const bool portDriver = code == 0x41u || code == 0x42u;
    if ((kernelDriver || portDriver) && inSize == 16) return 12;
    if (kernelDriver && inSize > 16) return 12;
    if (code == 0x42u && inSize == 40) return 36;
    return std::nullopt;
}

// The inputs of two requests of the same code and size alike, but for the
// address a record carries.
bool SameInput(const Event& a, const Event& b) {
    if (a.in.size() != b.in.size()) return false;
    const auto address = AddressAt(a.code, a.inSize);
    if (!address || *address + 4 > a.in.size()) return a.in == b.in;
    const auto at = static_cast<std::ptrdiff_t>(*address);
    return std::equal(a.in.begin(), a.in.begin() + at, b.in.begin()) &&
           std::equal(a.in.begin() + at + 4, a.in.end(), b.in.begin() + at + 4);
}

}  // namespace

Replay::Replay(std::shared_ptr<const rec::Recording> recording, std::string name, bool anyOrder)
    : recording_(std::move(recording)), name_(std::move(name)), anyOrder_(anyOrder) {
    for (std::size_t i = 0; i < recording_->events.size(); ++i)
        if (DeviceCall(recording_->events[i].call)) deviceEvents_.push_back(i);
    used_.assign(deviceEvents_.size(), false);
}

std::vector<std::string> Replay::DevicePaths() const {
    std::vector<std::string> paths;
    for (std::size_t i : deviceEvents_) {
        const Event& e = recording_->events[i];
        if (e.call != Call::CreateFileA || e.path.empty()) continue;
        const bool known = std::any_of(paths.begin(), paths.end(), [&](const std::string& p) {
            return SameIgnoringCase(p, e.path);
        });
        if (!known) paths.push_back(e.path);
    }
    return paths;
}

bool Replay::Matches(const Event& recorded, const Event& asked) const {
    if (recorded.call != asked.call || !SameIgnoringCase(recorded.path, asked.path)) return false;
    switch (asked.call) {
        case Call::CreateFileA:
            return recorded.access == asked.access && recorded.share == asked.share &&
                   recorded.disposition == asked.disposition && recorded.flags == asked.flags;
        case Call::DeviceIoControl:
            return recorded.code == asked.code && recorded.inSize == asked.inSize &&
                   recorded.outSize == asked.outSize && SameInput(recorded, asked);
        default:
            return true;
    }
}

const Event* Replay::Answer(const Event& asked) {
    if (failed_) return nullptr;
    ++asked_;
    // A close answers nothing but that it closed, and the program makes it
    // from destructors too, where nothing may be thrown: it takes the
    // recorded close when that is next, and leaves a recorded call it does
    // not match for the next call to find.
    if (asked.call == Call::CloseHandle) {
        for (std::size_t k = anyOrder_ ? 0 : next_; k < deviceEvents_.size(); ++k) {
            if (!used_[k] && Matches(recording_->events[deviceEvents_[k]], asked)) {
                used_[k] = true;
                if (k == next_) ++next_;
                return &recording_->events[deviceEvents_[k]];
            }
            if (!anyOrder_) break;
        }
        return nullptr;
    }
    if (!anyOrder_) {
        if (next_ >= deviceEvents_.size() ||
            !Matches(recording_->events[deviceEvents_[next_]], asked))
            Mismatch(asked);
        used_[next_] = true;
        return &recording_->events[deviceEvents_[next_++]];
    }
    std::optional<std::size_t> lastUsed;
    for (std::size_t k = 0; k < deviceEvents_.size(); ++k) {
        if (!Matches(recording_->events[deviceEvents_[k]], asked)) continue;
        if (!used_[k]) {
            used_[k] = true;
            return &recording_->events[deviceEvents_[k]];
        }
        lastUsed = k;
    }
    if (!lastUsed) Mismatch(asked);
    return &recording_->events[deviceEvents_[*lastUsed]];
}

std::string Replay::Nearest(const Event& asked) const {
    if (!anyOrder_) {
        if (next_ < deviceEvents_.size()) {
            const std::size_t i = deviceEvents_[next_];
            const Event& e = recording_->events[i];
            std::string text = "the next recorded call is event " + std::to_string(i + 1) + ": " +
                               rec::DescribeCall(e);
            if (e.call == asked.call && e.call == Call::DeviceIoControl && e.code == asked.code &&
                e.in != asked.in)
                text += " (the input differs from byte " +
                        std::to_string(FirstDifference(e.in, asked.in)) + ")";
            return text;
        }
        return recording_->cut ? "the recording was cut at its size bound before this call"
                               : "the recording holds no more calls on its devices";
    }
    // The recorded call of the same kind on the same device that asks the
    // most alike, the control code first.
    std::optional<std::size_t> best;
    std::size_t bestScore = 0;
    for (std::size_t i : deviceEvents_) {
        const Event& e = recording_->events[i];
        if (e.call != asked.call) continue;
        std::size_t score = SameIgnoringCase(e.path, asked.path) ? 0 : 1u << 30;
        if (e.code != asked.code) score += 1u << 29;
        score += CountDifferences(e.in, asked.in);
        if (!best || score < bestScore) {
            best = i;
            bestScore = score;
        }
    }
    if (!best) return std::string("the recording holds no ") + rec::CallName(asked.call);
    const Event& e = recording_->events[*best];
    std::string text = "the nearest recorded call is event " + std::to_string(*best + 1) + ": " +
                       rec::DescribeCall(e);
    if (e.call == Call::DeviceIoControl && e.in != asked.in)
        text += " (the input differs from byte " + std::to_string(FirstDifference(e.in, asked.in)) +
                ")";
    return text;
}

void Replay::Mismatch(const Event& asked) {
    failed_ = true;
    throw ReplayMismatch(name_ + ": call " + std::to_string(asked_) + " on its devices, " +
                         rec::DescribeCall(asked) + ", has no answer in the recording; " +
                         Nearest(asked));
}

RecordedDevice::RecordedDevice(std::shared_ptr<Replay> replay, std::string path)
    : replay_(std::move(replay)), path_(std::move(path)) {}

std::optional<std::uint32_t> RecordedDevice::RecordedOpen(std::uint32_t access, std::uint32_t share,
                                                          std::uint32_t disposition,
                                                          std::uint32_t flags) {
    Event asked;
    asked.call = Call::CreateFileA;
    asked.path = path_;
    asked.access = access;
    asked.share = share;
    asked.disposition = disposition;
    asked.flags = flags;
    const Event* answer = replay_->Answer(asked);
    if (answer && answer->ok) return 0u;
    // An open that failed without a last error still fails.
    return answer && answer->lastError != 0 ? answer->lastError : win::kErrorGenFailure;
}

IoctlOutcome RecordedDevice::Ioctl(std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                                   std::uint32_t outSize, std::uint32_t* bytesReturned) {
    Event asked;
    asked.call = Call::DeviceIoControl;
    asked.path = path_;
    asked.code = code;
    asked.inSize = inSize;
    asked.outSize = outSize;
    if (in && inSize > 0) {
        const auto* bytes = static_cast<const std::uint8_t*>(in);
        asked.in.assign(bytes, bytes + inSize);
    } else {
        asked.in.assign(inSize, 0);
    }
    const Event* found = replay_->Answer(asked);
    if (!found) {
        if (bytesReturned) *bytesReturned = 0;
        return IoctlOutcome{false, "", "the replay has ended"};
    }
    const Event& answer = *found;
    IoctlOutcome outcome;
    outcome.ok = answer.ok;
    // A port driver writes what it wrote when recorded, also past the
    // declared output where the request is one whose buffer is larger.
    const std::uint32_t written = PortDriverOutputLength(code, asked.in, outSize);
    if (out && !answer.out.empty())
        std::memcpy(out, answer.out.data(), std::min<std::size_t>(written, answer.out.size()));
    if (bytesReturned) *bytesReturned = answer.returned;
    // The io line of a pass-through request, read from the request and its
    // recorded answer as the platform that carried it wrote it.
    // The port drivers' io lines come from the request record alone.
    outcome.details = PortDriverDetails(code, in, inSize, out, outSize);
    if (code == win::kIoctlScsiPassThrough) {
        const ParsedPassThrough parsed =
            ParsePassThrough(asked.in.data(), inSize, answer.out.data(), outSize);
        if (parsed.request) {
            const PassThroughRequest& request = *parsed.request;
            std::vector<std::uint8_t> sense;
            std::uint8_t status = request.scsiStatus;
            if (answer.ok && answer.out.size() >= kPassThroughHeaderLength) {
                status = answer.out[2];
                const std::size_t from = request.senseInfoOffset;
                const std::size_t count = answer.out[7];
                if (count > 0 && from + count <= answer.out.size())
                    sense.assign(answer.out.begin() + static_cast<std::ptrdiff_t>(from),
                                 answer.out.begin() + static_cast<std::ptrdiff_t>(from + count));
            }
            outcome.details = PassThroughDetails(request, status, sense);
        }
        if (!parsed.reason.empty()) outcome.reason = parsed.reason;
    }
    return outcome;
}

void RecordedDevice::Closed() {
    Event asked;
    asked.call = Call::CloseHandle;
    asked.path = path_;
    replay_->Answer(asked);
}

}  // namespace usbisp::sim
