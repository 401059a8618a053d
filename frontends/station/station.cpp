#include "station/station.h"

#include "platform/printf_text.h"
#include "station/reader_session.h"
#include "station/session_view.h"

namespace usbisp::station {

namespace {

constexpr const char* kLogFailed = "The production log cannot be written";
constexpr const char* kLogUnwritable = "Error!!! The production log cannot be written";
constexpr const char* kHaltedRefusal =
    "not taken: the station halted, its production log cannot be written";
constexpr std::uint64_t kHourMs = 3600000;

std::string Ms(std::uint64_t ms) {
    return std::to_string(ms);
}

}  // namespace

std::string StateName(PortState state) {
    switch (state) {
        case PortState::Waiting:
            return "waiting";
        case PortState::Identifying:
            return "identifying";
        case PortState::Programming:
            return "programming";
        case PortState::Verifying:
            return "verifying";
        case PortState::Done:
            return "done";
        case PortState::Failed:
            break;
    }
    return "failed";
}

Station::Station(StationSetup setup) : setup_(std::move(setup)) {}

void Station::Emit(const std::string& line) {
    if (!setup_.transcript) return;
    std::lock_guard<std::mutex> lock(emitMutex_);
    setup_.transcript(line);
}

std::string Station::PortLine(const std::string& port, const std::string& rest) {
    return "port " + port + " " + rest;
}

void Station::Changed() {
    if (setup_.changed) setup_.changed();
}

bool Station::Start(Platform& files) {
    const char* mode = setup_.allocator ? "program" : "verify";
    Emit("station start " + Ms(setup_.time.NowMs()) + " " + mode);
    SessionView quiet({}, {});
    std::string statusText;
    const OperatorMessages messages{quiet, statusText};
    const auto lastBox = [&quiet] { return quiet.boxes().empty() ? "" : quiet.boxes().back(); };
    if (setup_.allocator && !setup_.allocator->Claim(files, messages)) {
        Refused(lastBox());
        return false;
    }
    // A log that cannot be written is found before any reader is taken.
    if (!setup_.log.Append(StartLine(IsoTime(setup_.time.Local()), mode))) {
        Refused(kLogUnwritable);
        return false;
    }
    if (!setup_.allocator) return true;
    // Squared with the log at once when SERIAL.TXT is usable; otherwise the
    // first programming run reads it and says what is wrong.
    if (setup_.allocator->Load(files, messages)) {
        const SerialCounter c = setup_.allocator->counter();
        Emit("station counter " + Ms(setup_.time.NowMs()) +
             Printf(" pc=0x%02x cnt=0x%04x", c.PC, c.CNT) +
             " void=" + std::to_string(setup_.allocator->voidedAtLoad()));
    } else if (!setup_.allocator->halted().empty()) {
        Refused(setup_.allocator->halted());
        return false;
    } else {
        Emit("station counter " + Ms(setup_.time.NowMs()) + " " + QuoteText(lastBox()));
    }
    return true;
}

void Station::Refused(const std::string& why) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        refused_ = true;
        refusal_ = why;
        stopping_ = true;
    }
    Emit("station refused " + Ms(setup_.time.NowMs()) + " " + QuoteText(why));
}

void Station::AddPort(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ports_.count(name)) return;
    ports_[name].row.name = name;
    order_.push_back(name);
}

bool Station::HasPort(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ports_.count(name) != 0;
}

bool Station::Free(const std::string& port) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = ports_.find(port);
    return it != ports_.end() && it->second.round == Round::Free;
}

bool Station::Arrive(const std::string& port, PlatformFactory platform) {
    const std::uint64_t now = setup_.time.NowMs();
    int reader = 0;
    bool halted = false;
    std::string haltRefusal;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = ports_.find(port);
        if (it == ports_.end() || it->second.round != Round::Free || stopping_) return false;
        halted = halted_;
        haltRefusal = haltRefusal_;
        if (!halted) {
            Port& p = it->second;
            reader = ++readers_;
            p.row = PortRow{port, PortState::Identifying, reader, "", 0, 0, 0};
            p.round = Round::Running;
            if (!firstArrival_) firstArrival_ = now;
        }
    }
    if (halted) {
        Refuse(port, haltRefusal);
        return false;
    }
    Emit(PortLine(port, "plug " + Ms(now) + " " + std::to_string(reader)));
    Changed();
    setup_.spawn([this, port, reader, now, platform = std::move(platform)] {
        RunReader(port, reader, now, platform);
    });
    return true;
}

void Station::Refuse(const std::string& port, const std::string& why) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = ports_.find(port);
        if (it == ports_.end() || it->second.running()) return;
        it->second.row = PortRow{port, PortState::Failed, 0, why, 0, 0, 0};
        it->second.round = Round::Shown;
    }
    Emit(PortLine(port, "refused " + Ms(setup_.time.NowMs()) + " " + QuoteText(why)));
    Changed();
}

void Station::Leave(const std::string& port) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = ports_.find(port);
        if (it == ports_.end()) return;
        Port& p = it->second;
        // A port that shows nothing had no reader the station saw.
        if (p.round == Round::Free) return;
        if (p.running()) {
            p.round = Round::Abandoned;
        } else {
            p.row = PortRow{port, PortState::Waiting, 0, "", 0, 0, 0};
            p.round = Round::Free;
        }
    }
    Emit(PortLine(port, "unplug " + Ms(setup_.time.NowMs())));
    Changed();
}

void Station::Stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
}

bool Station::Busy() const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [name, port] : ports_)
        if (port.running()) return true;
    return false;
}

void Station::RunReader(const std::string& port, int reader, std::uint64_t start,
                        const PlatformFactory& makePlatform) {
    SessionHooks hooks;
    hooks.who = NumberFor{port, reader};
    hooks.events = [this, port](const std::string& line) { Emit(PortLine(port, "| " + line)); };
    hooks.phase = [this, port](Phase phase) {
        const PortState state = phase == Phase::Identifying   ? PortState::Identifying
                                : phase == Phase::Programming ? PortState::Programming
                                                              : PortState::Verifying;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ports_[port].row.state = state;
        }
        if (state != PortState::Identifying)
            Emit(PortLine(port, StateName(state) + " " + Ms(setup_.time.NowMs())));
        Changed();
    };
    hooks.progress = [this, port](int position, int lower, int upper) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            PortRow& row = ports_[port].row;
            row.position = position;
            row.lower = lower;
            row.upper = upper;
        }
        Changed();
    };

    SessionOutcome outcome;
    {
        std::unique_ptr<Platform> platform = makePlatform(hooks.events);
        outcome = RunReaderSession(*platform, setup_.allocator, hooks);
    }
    const std::uint64_t now = setup_.time.NowMs();
    ReaderRecord record = RecordOf(port, reader, start, now, outcome);
    // A number is shown done only once its record is kept; one that is not
    // is void.
    std::string unkept;
    if (setup_.allocator && !setup_.allocator->Record(record, ReaderLine(record), unkept)) {
        outcome.result = record.result = ReaderResult::Failed;
        outcome.step = record.step = unkept;
    }
    // The log holds the reader before the board shows it.
    const bool logged = setup_.log.Append(ReaderLine(record));
    const Ending ending = Settle(port, outcome, logged, now);
    EmitEnding(port, outcome, ending, now);
    Changed();
    if (setup_.finished) setup_.finished(port, ending.left);
}

ReaderRecord Station::RecordOf(const std::string& port, int reader, std::uint64_t start,
                               std::uint64_t now, const SessionOutcome& outcome) const {
    ReaderRecord record;
    record.time = IsoTime(setup_.time.Local());
    record.port = port;
    record.reader = reader;
    record.identity = outcome.identity;
    record.serial = outcome.serial;
    record.number = outcome.number;
    record.stamped = outcome.stamped;
    record.image = outcome.image;
    record.imageCrc = outcome.imageCrc;
    record.result = outcome.result;
    record.step = outcome.step;
    record.durationMs = now - start;
    return record;
}

Station::Ending Station::Settle(const std::string& port, const SessionOutcome& outcome, bool logged,
                                std::uint64_t now) {
    // The allocator stops giving numbers when SERIAL.TXT is not what it
    // wrote: the station takes no further reader either.
    const std::string allocatorHalt = setup_.allocator ? setup_.allocator->halted() : "";
    Ending ending;
    ending.logged = logged;
    std::lock_guard<std::mutex> lock(mutex_);
    Port& p = ports_[port];
    PortRow& row = p.row;
    if (!logged) {
        if (!halted_) ending.halt = kLogFailed;
        row.state = PortState::Failed;
        row.text = kLogFailed;
        ++counts_.failed;
    } else if (outcome.result == ReaderResult::Failed) {
        row.state = PortState::Failed;
        row.text = outcome.step;
        ++counts_.failed;
        if (outcome.number) ++counts_.voided;
    } else {
        row.state = PortState::Done;
        row.text = outcome.serial;
        ++(outcome.result == ReaderResult::Programmed ? counts_.programmed : counts_.verified);
    }
    if (ending.halt.empty() && !halted_ && !allocatorHalt.empty()) ending.halt = allocatorHalt;
    if (!ending.halt.empty()) {
        halted_ = true;
        haltRefusal_ = ending.halt == kLogFailed ? kHaltedRefusal
                                                 : "not taken: the station halted: " + ending.halt;
    }
    ending.left = p.round == Round::Abandoned;
    p.round = ending.left ? Round::Free : Round::Shown;
    if (ending.left) row = PortRow{port, PortState::Waiting, 0, "", 0, 0, 0};
    lastFinish_ = now;
    return ending;
}

void Station::EmitEnding(const std::string& port, const SessionOutcome& outcome,
                         const Ending& ending, std::uint64_t now) {
    if (!ending.logged) {
        Emit(PortLine(port, "failed " + Ms(now) + " " + QuoteText(kLogFailed)));
    } else if (outcome.result == ReaderResult::Programmed) {
        Emit(PortLine(port, "programmed " + Ms(now) + " " + QuoteText(outcome.serial)));
    } else if (outcome.result == ReaderResult::Verified) {
        Emit(PortLine(port, "verified " + Ms(now)));
    } else {
        Emit(PortLine(port, "failed " + Ms(now) + " " + QuoteText(outcome.step) +
                                (outcome.number ? " void " + QuoteText(outcome.serial) : "")));
    }
    if (!ending.halt.empty()) Emit("station halted " + Ms(now) + " " + QuoteText(ending.halt));
}

RunCounts Station::CountsLocked() const {
    RunCounts counts = counts_;
    counts.refused = refused_;
    // The allocator's voids, whenever it loaded.
    if (setup_.allocator) counts.voided += setup_.allocator->voidedAtLoad();
    const int readers = counts.programmed + counts.verified + counts.failed;
    if (firstArrival_ && lastFinish_ > *firstArrival_)
        counts.readersPerHour = static_cast<int>(static_cast<std::uint64_t>(readers) * kHourMs /
                                                 (lastFinish_ - *firstArrival_));
    return counts;
}

RunCounts Station::Finish() {
    RunCounts counts;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        counts = CountsLocked();
    }
    // A station that never started wrote nothing and sums up nothing.
    if (counts.refused) return counts;
    const std::uint64_t now = setup_.time.NowMs();
    if (setup_.allocator) setup_.allocator->End();
    setup_.log.Append(SummaryLine(IsoTime(setup_.time.Local()), counts));
    Emit("station end " + Ms(now) + " programmed=" + std::to_string(counts.programmed) +
         " verified=" + std::to_string(counts.verified) +
         " failed=" + std::to_string(counts.failed) + " void=" + std::to_string(counts.voided) +
         " per-hour=" + std::to_string(counts.readersPerHour));
    return counts;
}

Board Station::Snapshot() const {
    Board board;
    // Asked before the station's lock: the source may be busy with a run.
    if (setup_.allocator) board.numbers = setup_.allocator->state();
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::string& name : order_) board.ports.push_back(ports_.at(name).row);
    board.counts = CountsLocked();
    board.halted = halted_;
    board.stopping = stopping_;
    board.refusal = refusal_;
    return board;
}

}  // namespace usbisp::station
