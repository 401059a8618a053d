#include "station/records_numbers.h"

#include <thread>

#include "firmware/serial_file.h"
#include "station/records_store.h"

namespace usbisp::station {

namespace {

constexpr const char* kNoNumberLeft =
    "Error!!! No serial number left: the PC's CNT is 0xffff in the line's database, give "
    "SERIAL.TXT a new PC";
constexpr const char* kCannotLog = "Error!!! The production log cannot be written";
// How long a stamped reader waits for the database to keep its record.
constexpr std::chrono::seconds kRecordPatience{10};

}  // namespace

void DbNumbers::Lost() {
    linked_ = false;
    away_ = true;
    backoff_.Failed(Backoff::Clock::now());
}

bool DbNumbers::Linked(std::string& why, bool* held) {
    const bool linked = TryLink(why, held);
    away_ = !linked;
    return linked;
}

std::string DbNumbers::state() const {
    return away_ ? "the line's database cannot be reached: no number is given until it is back"
                 : "";
}

bool DbNumbers::TryLink(std::string& why, bool* held) {
    if (linked_ && link_.Connected()) return true;
    linked_ = false;
    const auto now = Backoff::Clock::now();
    if (!backoff_.Due(now)) {
        why = kDatabaseAway;
        return false;
    }
    std::string error;
    if (!link_.Connect(url_, error)) {
        backoff_.Failed(now);
        why = kDatabaseAway;
        return false;
    }
    if (!CheckSchema(link_, error)) {
        backoff_.Failed(now);
        why = "Error!!! " + error;
        return false;
    }
    std::uint32_t cnt = 0;
    const PcTaken taken = TakePc(link_, station_, counter_.PC, counter_.CNT, cnt, error);
    if (taken != PcTaken::Taken) {
        backoff_.Failed(now);
        why = taken == PcTaken::Held ? "Error!!! " + error : kDatabaseAway;
        if (held) *held = taken == PcTaken::Held;
        return false;
    }
    // What the last connection (or a crash) left without a record, and no
    // reader of this station still runs with, is void.
    std::vector<std::uint32_t> voided;
    if (!VoidUnrecorded(link_, counter_.PC, inFlight_, voided, error)) {
        Lost();
        why = kDatabaseAway;
        return false;
    }
    const std::string time = IsoTime(time_.Local());
    for (std::uint32_t number : voided) {
        if (!log_.Append(VoidLine(time, counter_.PC, number))) {
            why = kCannotLog;
            return false;
        }
    }
    voided_ += static_cast<int>(voided.size());
    counter_.CNT = cnt;
    backoff_.Succeeded();
    linked_ = true;
    return true;
}

bool DbNumbers::Claim(Platform& files, const OperatorMessages& messages) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (lock_) return true;
    lock_ = LockSerialCounter(files, messages, "usbisp --station --records, log " + log_.path());
    return lock_ != nullptr;
}

bool DbNumbers::Load(Platform& files, const OperatorMessages& messages) {
    std::lock_guard<std::mutex> lock(mutex_);
    return LoadLocked(files, messages);
}

bool DbNumbers::LoadLocked(Platform& files, const OperatorMessages& messages) {
    if (loaded_) return true;
    if (!halted_.empty()) {
        messages.BoxAndLine(halted_);
        return false;
    }
    SerialCounter read;
    if (!ReadSerialCounter(files, messages, read)) return false;
    counter_ = read;
    std::string why;
    bool held = false;
    if (!Linked(why, &held)) {
        // A PC held by another station at the start is not waited for: the
        // station would only fail every reader.
        if (held) halted_ = why;
        messages.BoxAndLine(why);
        return false;
    }
    if (!log_.Append(CounterLine(IsoTime(time_.Local()), counter_))) {
        messages.BoxAndLine(kCannotLog);
        return false;
    }
    loaded_ = true;
    return true;
}

TakenNumber DbNumbers::Take(Platform& files, const OperatorMessages& messages, bool userSerial,
                            const NumberFor& who) {
    std::lock_guard<std::mutex> lock(mutex_);
    TakenNumber taken;
    if (!LoadLocked(files, messages)) return taken;
    if (userSerial) {
        taken.taken = true;
        taken.counter = counter_;
        return taken;
    }
    std::string why;
    if (!Linked(why)) {
        messages.BoxAndLine(why);
        return taken;
    }
    bool exhausted = false;
    std::string error;
    const auto cnt = Reserve(link_, counter_.PC,
                             Reservation{station_, who.port, who.reader, IsoTime(time_.Local())},
                             exhausted, error);
    if (!cnt) {
        if (!exhausted) Lost();
        messages.BoxAndLine(exhausted ? kNoNumberLeft : kDatabaseAway);
        return taken;
    }
    taken = TakenNumber{true, true, SerialCounter{counter_.CEM, counter_.PC, *cnt}};
    counter_.CNT = *cnt + 1;
    inFlight_.insert(*cnt);
    // The database is the authority; SERIAL.TXT only follows it, for the main
    // window, and one that lags is brought forward at the next start.
    StoreSerialCounter(files, counter_);
    return taken;
}

bool DbNumbers::Record(const ReaderRecord& record, const std::string& line, std::string& why) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string error;
    if (!record.number) {
        // Nothing stamped from the database's counter: the log keeps it
        // should the database be away.
        if (Linked(why) && !station::Record(link_, station_, record, line, error)) Lost();
        return true;
    }
    const auto giveUp = Backoff::Clock::now() + kRecordPatience;
    bool kept = false;
    while (!kept) {
        if (Linked(why)) {
            kept = station::Record(link_, station_, record, line, error);
            if (kept) break;
            if (link_.Connected()) break;  // refused, not lost: no use trying again
            Lost();
        }
        if (Backoff::Clock::now() + backoff_.pause() > giveUp) break;
        std::this_thread::sleep_for(backoff_.pause());
    }
    // Not kept: its reservation stays open and is voided once the database
    // is back.
    inFlight_.erase(record.number->CNT);
    if (!kept) why = kRecordNotKept;
    return kept;
}

void DbNumbers::End() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (loaded_) log_.Append(EndCounterLine(IsoTime(time_.Local()), counter_));
}

std::string DbNumbers::halted() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return halted_;
}

int DbNumbers::voidedAtLoad() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return voided_;
}

SerialCounter DbNumbers::counter() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counter_;
}

}  // namespace usbisp::station
