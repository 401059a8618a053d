#include "station/serial_allocator.h"

#include <fcntl.h>
#include <unistd.h>

#include "firmware/serial_file.h"
#include "firmware/serial_number.h"
#include "station/log_lines.h"

namespace usbisp::station {

namespace {

constexpr const char* kCannotSave = "nError!!! Cannot save [SERIAL.TXT], program terminate";
constexpr const char* kNoNumberLeft =
    "Error!!! No serial number left: CNT is 0xffff, give SERIAL.TXT a new PC";
constexpr const char* kCannotLog = "Error!!! The production log cannot be written";
constexpr std::uint32_t kLastCnt = 0xFFFF;

bool SyncPath(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

}  // namespace

bool SerialAllocator::SyncCounterFile(Platform& files) const {
    const std::string name = files.FindFile(kSerialFileName);
    return !name.empty() && SyncPath(directory_ + "/" + name, O_RDONLY) &&
           SyncPath(directory_, O_RDONLY | O_DIRECTORY);
}

bool SerialAllocator::Load(Platform& files, const OperatorMessages& messages) {
    std::lock_guard<std::mutex> lock(mutex_);
    return LoadLocked(files, messages);
}

bool SerialAllocator::LoadLocked(Platform& files, const OperatorMessages& messages) {
    if (loaded_) return true;
    SerialCounter read;
    if (!ReadSerialCounter(files, messages, read)) return false;
    const std::string now = IsoTime(time_.Local());
    const SinceLastCounter since = ScanLog(log_.ReadLines());
    int voided = 0;
    if (since.found && since.pc == read.PC) {
        for (std::uint32_t cnt = since.cnt; cnt < read.CNT; ++cnt) {
            if (since.accounted.count(cnt)) continue;
            if (!log_.Append(VoidLine(now, read.PC, cnt))) {
                messages.BoxAndLine(kCannotLog);
                return false;
            }
            ++voided;
        }
    }
    if (!log_.Append(CounterLine(now, read))) {
        messages.BoxAndLine(kCannotLog);
        return false;
    }
    voidedAtLoad_ += voided;
    counter_ = read;
    loaded_ = true;
    return true;
}

bool SerialAllocator::Take(Platform& files, const OperatorMessages& messages, bool userSerial,
                           SerialCounter& counter, bool& reserved) {
    std::lock_guard<std::mutex> lock(mutex_);
    reserved = false;
    if (!LoadLocked(files, messages)) return false;
    if (userSerial) {
        counter = counter_;
        return true;
    }
    if (counter_.CNT >= kLastCnt) {
        messages.BoxAndLine(kNoNumberLeft);
        return false;
    }
    SerialCounter next = counter_;
    AdvanceSerialCounter(next);
    if (!StoreSerialCounter(files, next) || !SyncCounterFile(files)) {
        // Nothing was given. Should the file hold the advanced counter after
        // all, the number below it is voided at the next start.
        messages.Box(kCannotSave);
        return false;
    }
    counter = counter_;
    counter_ = next;
    reserved = true;
    return true;
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
