#include "station/serial_allocator.h"

#include <vector>

#include "firmware/serial_file.h"
#include "firmware/serial_number.h"
#include "platform/printf_text.h"
#include "station/log_lines.h"

namespace usbisp::station {

namespace {

constexpr const char* kCannotSave = "nError!!! Cannot save [SERIAL.TXT], program terminate";
constexpr const char* kNoNumberLeft =
    "Error!!! No serial number left: CNT is 0xffff, give SERIAL.TXT a new PC";
constexpr const char* kCannotLog = "Error!!! The production log cannot be written";
constexpr const char* kUnreadable = "Error!!! SERIAL.TXT cannot be read any more";
constexpr const char* kLandedLate =
    "SERIAL.TXT was saved although its save was reported failed; no reader got it";
constexpr std::uint32_t kLastCnt = 0xFFFF;
constexpr std::size_t kShownText = 40;

// A file's text in a message: printable, and not too long for one line.
std::string Shown(const std::string& text) {
    std::string shown;
    for (char c : text.substr(0, kShownText)) shown += c >= 0x20 && c < 0x7F ? c : '?';
    return "\"" + shown + (text.size() > kShownText ? "...\"" : "\"");
}

}  // namespace

std::string SerialAllocator::Now() const {
    return IsoTime(time_.Local());
}

bool SerialAllocator::Claim(Platform& files, const OperatorMessages& messages) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (lock_) return true;
    lock_ = LockSerialCounter(files, messages, "usbisp --station, log " + log_.path());
    return lock_ != nullptr;
}

bool SerialAllocator::Halt(const OperatorMessages& messages, const std::string& why) {
    halted_ = why;
    messages.BoxAndLine(why);
    return false;
}

bool SerialAllocator::Load(Platform& files, const OperatorMessages& messages) {
    std::lock_guard<std::mutex> lock(mutex_);
    return LoadLocked(files, messages);
}

bool SerialAllocator::LoadLocked(Platform& files, const OperatorMessages& messages) {
    if (loaded_) return true;
    if (!halted_.empty()) {
        messages.BoxAndLine(halted_);
        return false;
    }
    SerialCounter read;
    std::string text;
    if (!ReadSerialCounter(files, messages, read, &text)) return false;
    const std::string now = Now();
    const PcHistory history = ScanLog(log_.ReadLines(), read.PC);
    std::vector<std::string> lines;
    int voided = 0;
    if (history.highest && read.CNT <= *history.highest) {
        // A backup put back, a hand edit: the numbers from here on were
        // given already.
        if (!takeBackwards_)
            return Halt(messages, Printf("Error!!! SERIAL.TXT gives PC 0x%02x CNT 0x%04x, but the "
                                         "production log accounts for CNT 0x%04x already",
                                         read.PC, read.CNT, *history.highest));
        lines.push_back(BackwardsLine(now, read, *history.highest));
    } else if (history.found && history.ended) {
        if (read.CNT > history.cnt)
            lines.push_back(SkipLine(now, read.PC, history.cnt, read.CNT - 1));
    } else if (history.found) {
        for (std::uint32_t cnt = history.cnt; cnt < read.CNT; ++cnt) {
            if (history.accounted.count(cnt)) continue;
            lines.push_back(VoidLine(now, read.PC, cnt));
            ++voided;
        }
    }
    lines.push_back(CounterLine(now, read));
    if (!log_.AppendLines(lines)) {
        messages.BoxAndLine(kCannotLog);
        return false;
    }
    voidedAtLoad_ += voided;
    counter_ = read;
    written_ = text;
    loaded_ = true;
    return true;
}

bool SerialAllocator::FileUnchanged(Platform& files, const OperatorMessages& messages) {
    std::string text;
    if (!ReadSerialFileText(files, text)) return Halt(messages, kUnreadable);
    if (text == written_) {
        unsure_.reset();
        return true;
    }
    if (unsure_ && text == FormatSerialText(*unsure_)) {
        // The save went through after all: the number below it is spent.
        if (!log_.Append(VoidLine(Now(), counter_.PC, counter_.CNT, kLandedLate))) {
            messages.BoxAndLine(kCannotLog);
            return false;
        }
        ++voidedAtLoad_;
        counter_ = *unsure_;
        written_ = text;
        unsure_.reset();
        return true;
    }
    return Halt(messages, "Error!!! SERIAL.TXT was changed while the station ran: it holds " +
                              Shown(text) + ", the station wrote " + Shown(written_));
}

TakenNumber SerialAllocator::Take(Platform& files, const OperatorMessages& messages,
                                  bool userSerial) {
    std::lock_guard<std::mutex> lock(mutex_);
    TakenNumber taken;
    if (!LoadLocked(files, messages)) return taken;
    if (userSerial) {
        taken.taken = true;
        taken.counter = counter_;
        return taken;
    }
    if (!halted_.empty()) {
        messages.BoxAndLine(halted_);
        return taken;
    }
    if (!FileUnchanged(files, messages)) return taken;
    if (counter_.CNT >= kLastCnt) {
        messages.BoxAndLine(kNoNumberLeft);
        return taken;
    }
    SerialCounter next = counter_;
    AdvanceSerialCounter(next);
    if (!StoreSerialCounter(files, next)) {
        // Nothing was given. Should the file hold the advanced counter after
        // all, the next reservation finds it and voids the number below it.
        unsure_ = next;
        messages.Box(kCannotSave);
        return taken;
    }
    taken = TakenNumber{true, true, counter_};
    counter_ = next;
    written_ = FormatSerialText(next);
    return taken;
}

void SerialAllocator::End() {
    std::lock_guard<std::mutex> lock(mutex_);
    // A station that halted over its SERIAL.TXT leaves the squaring to the
    // next start, as after a crash.
    if (!loaded_ || !halted_.empty() || unsure_) return;
    log_.Append(EndCounterLine(Now(), counter_));
}

std::string SerialAllocator::halted() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return halted_;
}

int SerialAllocator::voidedAtLoad() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return voidedAtLoad_;
}

bool SerialAllocator::loaded() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return loaded_;
}

SerialCounter SerialAllocator::counter() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counter_;
}

}  // namespace usbisp::station
