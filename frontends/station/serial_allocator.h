// The station's one serial-number allocator. Readers' runs overlap, so a
// number cannot wait for its reader's success before the next is due: each
// programming run reserves its number by saving the advanced counter first
// (SERIAL.TXT written as the main window writes it, on the disk before the
// number goes out) and only then stamps it. A number whose reader then fails
// is logged void and never given again. The counter never wraps here: past
// 0xffff no number is given, as every number below the counter must stay
// accounted for.
//
// The station holds the directory's lock for its life, so no other program
// takes numbers from its SERIAL.TXT; before each reservation it reads the
// file again, and gives no further number once the file is not what it
// wrote last (edited, restored).
//
// At the first read of SERIAL.TXT the allocator squares the counter with the
// production log's lines of the file's PC. A counter at or below a number the
// log accounts for already is refused (unless the operator takes it, which
// the log records). After a crash every number from the last counter line up
// to the counter in the file was given out; one that no reader line accounts
// for (its run was cut off) is logged void. After a clean end (its final
// counter line) a counter further on was moved there by hand: one line
// records the numbers skipped. Then a counter line marks where this run
// starts.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "firmware/firmware_state.h"
#include "platform/platform.h"
#include "station/number_source.h"
#include "station/production_log.h"
#include "station/station_time.h"
#include "view/operator_messages.h"

namespace usbisp::station {

// One station on SERIAL.TXT: the allocator keeps the counter, the log keeps
// the records.
class SerialAllocator : public NumberSource {
  public:
    // `takeBackwards`: take SERIAL.TXT's counter even when the log accounts
    // for it already (the operator's decision, --take-counter). The files are
    // those of the platform each call is given: the station's directory.
    SerialAllocator(ProductionLog& log, StationTime& time, bool takeBackwards = false)
        : log_(log), time_(time), takeBackwards_(takeBackwards) {}

    // Takes the directory for the station's life. False when another program
    // holds it: the box names the holder.
    bool Claim(Platform& files, const OperatorMessages& messages) override;

    // Reads SERIAL.TXT (the main window's checks and messages) and squares it
    // with the log; done once. False when the file is not usable: the next
    // Take tries again, unless halted().
    bool Load(Platform& files, const OperatorMessages& messages) override;

    // A programming run's number. With a user serial nothing is reserved:
    // the record only carries the values read.
    TakenNumber Take(Platform& files, const OperatorMessages& messages, bool userSerial);
    TakenNumber Take(Platform& files, const OperatorMessages& messages, bool userSerial,
                     const NumberFor&) override {
        return Take(files, messages, userSerial);
    }
    // The production log keeps the records.
    bool Record(const ReaderRecord&, const std::string&, std::string&) override { return true; }

    // The clean end: the counter left, as the log's final counter line.
    void End() override;

    // Why no further number is given (the box shown); empty while they are.
    std::string halted() const override;
    // Numbers logged void by the allocator (squaring, a save that landed
    // after it was reported failed).
    int voidedAtLoad() const override;
    bool loaded() const;
    SerialCounter counter() const override;

  private:
    bool LoadLocked(Platform& files, const OperatorMessages& messages);
    // SERIAL.TXT still holds what the station wrote last.
    bool FileUnchanged(Platform& files, const OperatorMessages& messages);
    bool Halt(const OperatorMessages& messages, const std::string& why);
    std::string Now() const;

    ProductionLog& log_;
    StationTime& time_;
    const bool takeBackwards_;
    mutable std::mutex mutex_;
    std::unique_ptr<FileLock> lock_;
    bool loaded_ = false;
    SerialCounter counter_;
    std::string written_;  // SERIAL.TXT's text as the station read or wrote it last
    // A save reported failed that may have reached the disk all the same.
    std::optional<SerialCounter> unsure_;
    std::string halted_;
    int voidedAtLoad_ = 0;
};

}  // namespace usbisp::station
