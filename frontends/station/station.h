// The production station: one row per port of the hub. A reader that arrives
// on a free port gets an instance of the core of its own, on a thread of its
// own, in parallel with the others (reader_session.h); at its end the
// station logs it, shows it done or failed, and takes that port again only
// once the reader has been unplugged. What drives it (the bench's plug
// timeline, or the kernel's hotplug events) calls Arrive and Leave from one
// thread; the runs call back from theirs.
//
// Its transcript, one event per line (the milliseconds count from the
// station's start on its clock):
//   station start <ms> program|verify
//   port <p> plug <ms> <reader>           reader number <reader> arrived
//   port <p> programming <ms>             the programming command began
//   port <p> verifying <ms>               the verification command began
//   port <p> programmed <ms> "<serial>"   logged and shown done
//   port <p> verified <ms>
//   port <p> failed <ms> "<step>" [void "<serial>"]
//   port <p> unplug <ms>                  the reader left the port
//   port <p> refused <ms> "<why>"         a reader the station does not take
//   port <p> | <event>                    an event of the reader's run, as a
//                                         scripted run prints it
//   station refused <ms> "<why>"          the station does not start (its
//                                         directory is another's, its
//                                         SERIAL.TXT went backwards)
//   station halted <ms> "<why>"           no further reader is taken
//   station end <ms> programmed=<n> verified=<n> failed=<n> void=<n> per-hour=<n>
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/transcript_text.h"
#include "station/log_lines.h"
#include "station/number_source.h"
#include "station/production_log.h"
#include "station/reader_session.h"
#include "station/serial_allocator.h"
#include "station/station_time.h"

namespace usbisp::station {

enum class PortState { Waiting, Identifying, Programming, Verifying, Done, Failed };

// One row of the board.
struct PortRow {
    std::string name;
    PortState state = PortState::Waiting;
    int reader = 0;
    std::string text;  // done: the serial number; failed: the failing step's text
    int position = 0;  // the status window's bar
    int lower = 0;
    int upper = 0;
};

struct Board {
    std::vector<PortRow> ports;
    RunCounts counts;
    bool halted = false;
    bool stopping = false;
    std::string refusal;  // why the station refused to start
    std::string numbers;  // what the source of numbers says; empty: all is well
};

// Makes the platform of one reader's run; called on that run's thread. The
// sink takes the run's transcript lines (sleep, stdout, io).
using PlatformFactory = std::function<std::unique_ptr<Platform>(TranscriptSink events)>;

struct StationSetup {
    StationTime& time;
    ProductionLog& log;
    NumberSource* allocator = nullptr;  // none: check only
    TranscriptSink transcript;          // may be called from any thread
    // Starts a reader's run in parallel with the others.
    std::function<void(std::function<void()>)> spawn;
    // A run has ended (on its thread); `left`: its reader is gone already.
    std::function<void(const std::string& port, bool left)> finished;
    // The board changed (from any thread).
    std::function<void()> changed;
};

class Station {
  public:
    explicit Station(StationSetup setup);

    // Its start line, and with an allocator the directory taken and the
    // counter squared with the log. False when the station refuses to start:
    // it takes no reader, and Finish only says so.
    bool Start(Platform& files);
    void AddPort(const std::string& name);
    bool HasPort(const std::string& name) const;
    // Whether a reader may arrive on the port now.
    bool Free(const std::string& port) const;
    // A reader arrived on a free port: its run starts. False when the port
    // is not free or the station no longer takes readers.
    bool Arrive(const std::string& port, PlatformFactory platform);
    // A reader on the port that the station does not run: shown with why,
    // until it leaves.
    void Refuse(const std::string& port, const std::string& why);
    // The reader left the port (during its run, its requests fail from now on).
    void Leave(const std::string& port);
    // No further reader is taken; the runs under way go to their end.
    void Stop();
    // Whether a run is under way.
    bool Busy() const;
    // The end line, the final counter line and the summary in the log.
    RunCounts Finish();

    Board Snapshot() const;

  private:
    // Where a port is in its round; the row shows it on the board.
    enum class Round {
        Free,       // no reader the station knows of (row: waiting)
        Running,    // a reader's run is under way (row: identifying ...)
        Abandoned,  // the run goes on, its reader was unplugged
        Shown,      // done, failed or refused, until the reader leaves
    };
    struct Port {
        PortRow row;
        Round round = Round::Free;
        bool running() const { return round == Round::Running || round == Round::Abandoned; }
    };

    void Emit(const std::string& line);
    void Refused(const std::string& why);
    std::string PortLine(const std::string& port, const std::string& rest);
    // A reader's run on its thread, then its record, its row and its lines.
    void RunReader(const std::string& port, int reader, std::uint64_t start,
                   const PlatformFactory& platform);
    struct Ending {
        bool logged = true;  // its line is in the log
        bool left = false;   // its reader left during the run
        std::string halt;    // why the station halts with it; empty: it does not
    };
    ReaderRecord RecordOf(const std::string& port, int reader, std::uint64_t start,
                          std::uint64_t now, const SessionOutcome& outcome) const;
    Ending Settle(const std::string& port, const SessionOutcome& outcome, bool logged,
                  std::uint64_t now);
    void EmitEnding(const std::string& port, const SessionOutcome& outcome, const Ending& ending,
                    std::uint64_t now);
    void Changed();
    RunCounts CountsLocked() const;

    StationSetup setup_;
    mutable std::mutex mutex_;
    std::mutex emitMutex_;
    std::map<std::string, Port> ports_;
    std::vector<std::string> order_;
    int readers_ = 0;
    RunCounts counts_;
    std::optional<std::uint64_t> firstArrival_;
    std::uint64_t lastFinish_ = 0;
    bool halted_ = false;
    std::string haltRefusal_;  // what a reader that arrives after the halt is told
    bool stopping_ = false;
    bool refused_ = false;
    std::string refusal_;
};

// The board's word for a state: "waiting", "identifying", ...
std::string StateName(PortState state);

}  // namespace usbisp::station
