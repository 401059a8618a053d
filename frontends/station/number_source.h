// Where a station's readers get their serial numbers: SERIAL.TXT through the
// station's own allocator (one station; serial_allocator.h), or the line's database (several
// stations; records_numbers.h). The station asks it at its start, before each
// programming run, and once more when a reader has ended, before the reader
// is logged and shown.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "firmware/firmware_state.h"
#include "platform/platform.h"
#include "station/log_lines.h"
#include "station/production_log.h"
#include "station/station_time.h"
#include "view/operator_messages.h"

namespace usbisp::station {

// What a programming run was given.
struct TakenNumber {
    bool taken = false;     // false ends the run; the operator has been told
    bool reserved = false;  // a number was reserved for this reader
    SerialCounter counter;  // the values the run stamps
};

// The reader a number goes to.
struct NumberFor {
    std::string port;
    int reader = 0;
};

class NumberSource {
  public:
    virtual ~NumberSource() = default;

    // Takes the station's directory for its life (SERIAL.LCK). False when
    // another program holds it: the box names the holder.
    virtual bool Claim(Platform& files, const OperatorMessages& messages) = 0;
    // Ready to give numbers: the counter read and squared with what is
    // already accounted for. False: the operator has been told why; with
    // halted() the station cannot start at all.
    virtual bool Load(Platform& files, const OperatorMessages& messages) = 0;
    // A programming run's number, reserved before it is stamped; with a user
    // serial nothing is reserved.
    virtual TakenNumber Take(Platform& files, const OperatorMessages& messages, bool userSerial,
                             const NumberFor& who) = 0;
    // The reader has ended, `line` is its log line: its record is kept before
    // it is shown. False with `why`: it was not, and the reader is shown
    // failed.
    virtual bool Record(const ReaderRecord& record, const std::string& line, std::string& why) = 0;
    // The clean end: the counter left, as the log's final counter line.
    virtual void End() = 0;

    // Why no further number is given; empty while they are.
    virtual std::string halted() const = 0;
    // Numbers voided at the start, as a crash left them.
    virtual int voidedAtLoad() const = 0;
    virtual SerialCounter counter() const = 0;
    // What the board says of the source, as a line; empty when all is well.
    // Asked from the board's thread: it must not wait for the source's work.
    virtual std::string state() const { return {}; }
};

// Makes a station's source once the station's log and clock are there.
using NumberSourceMaker =
    std::function<std::unique_ptr<NumberSource>(ProductionLog& log, StationTime& time)>;

}  // namespace usbisp::station
