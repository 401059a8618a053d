// The station's one serial-number allocator. Readers' runs overlap, so a
// number cannot wait for its reader's success before the next is due: each
// programming run reserves its number by saving the advanced counter first
// (SERIAL.TXT written as the main window writes it, then flushed to the disk)
// and only then stamps it. A number whose reader then fails is logged void and
// never given again. The counter never wraps here: past 0xffff no number is
// given, as every number below the counter must stay accounted for.
//
// After a crash: at the first read of SERIAL.TXT the allocator squares the
// counter with the production log. Every number from the log's last counter
// line up to the counter in the file was given out; one that no reader line
// accounts for (its run was cut off) is logged void. Then a counter line marks
// where this run starts.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "firmware/firmware_state.h"
#include "platform/platform.h"
#include "station/production_log.h"
#include "station/station_time.h"
#include "view/operator_messages.h"

namespace usbisp::station {

class SerialAllocator {
  public:
    SerialAllocator(ProductionLog& log, StationTime& time, std::string directory)
        : log_(log), time_(time), directory_(std::move(directory)) {}

    // Reads SERIAL.TXT (the main window's checks and messages) and squares it
    // with the log; done once. False when the file is not usable: the next
    // Take tries again.
    bool Load(Platform& files, const OperatorMessages& messages);

    // A programming run's number. With a user serial nothing is reserved:
    // `counter` only receives the values read. False ends the run; the
    // operator has been told.
    bool Take(Platform& files, const OperatorMessages& messages, bool userSerial,
              SerialCounter& counter, bool& reserved);

    // Numbers logged void while squaring the counter with the log.
    int voidedAtLoad() const;
    bool loaded() const;
    SerialCounter counter() const;

  private:
    bool LoadLocked(Platform& files, const OperatorMessages& messages);
    // SERIAL.TXT and its directory on the disk, not only in the cache.
    bool SyncCounterFile(Platform& files) const;

    ProductionLog& log_;
    StationTime& time_;
    const std::string directory_;
    mutable std::mutex mutex_;
    bool loaded_ = false;
    SerialCounter counter_;
    int voidedAtLoad_ = 0;
};

}  // namespace usbisp::station
