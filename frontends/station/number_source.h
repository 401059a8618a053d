// Where a station's readers get their serial numbers: SERIAL.TXT through the
// station's own allocator (one station), or the line's database (several
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
#include "station/serial_allocator.h"
#include "station/station_time.h"
#include "view/operator_messages.h"

namespace usbisp::station {

// The reader a number goes to.
struct NumberFor {
    std::string port;
    int reader = 0;
};

class NumberSource {
  public:
    virtual ~NumberSource() = default;

    // Ready to give numbers: the counter read and squared with what is
    // already accounted for. False: the operator has been told why.
    virtual bool Load(Platform& files, const OperatorMessages& messages) = 0;
    // A programming run's number, reserved before it is stamped; with a user
    // serial nothing is reserved. False ends the run; the operator has been
    // told.
    virtual bool Take(Platform& files, const OperatorMessages& messages, bool userSerial,
                      const NumberFor& who, SerialCounter& counter, bool& reserved) = 0;
    // The reader has ended, `line` is its log line: its record is kept before
    // it is shown. False with `why`: it was not, and the reader is shown
    // failed.
    virtual bool Record(const ReaderRecord& record, const std::string& line, std::string& why) = 0;

    // Numbers voided at the start, as a crash left them.
    virtual int voidedAtLoad() const = 0;
    virtual SerialCounter counter() const = 0;
};

// One station on SERIAL.TXT: the allocator keeps the counter, the log keeps
// the records.
class LocalNumbers : public NumberSource {
  public:
    LocalNumbers(ProductionLog& log, StationTime& time, std::string directory)
        : allocator_(log, time, std::move(directory)) {}

    bool Load(Platform& files, const OperatorMessages& messages) override {
        return allocator_.Load(files, messages);
    }
    bool Take(Platform& files, const OperatorMessages& messages, bool userSerial, const NumberFor&,
              SerialCounter& counter, bool& reserved) override {
        return allocator_.Take(files, messages, userSerial, counter, reserved);
    }
    bool Record(const ReaderRecord&, const std::string&, std::string&) override { return true; }
    int voidedAtLoad() const override { return allocator_.voidedAtLoad(); }
    SerialCounter counter() const override { return allocator_.counter(); }

  private:
    SerialAllocator allocator_;
};

// Makes a station's source once the station's log and clock are there.
using NumberSourceMaker =
    std::function<std::unique_ptr<NumberSource>(ProductionLog& log, StationTime& time)>;

}  // namespace usbisp::station
