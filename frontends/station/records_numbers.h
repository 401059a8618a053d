// A station of a line: its numbers come from the line's database. At its
// start it takes the directory (SERIAL.LCK, as a station on SERIAL.TXT alone
// does, since it keeps SERIAL.TXT in step), reads its PC from SERIAL.TXT,
// takes the PC (a PC another station holds refuses the station's start: the
// text names the holder), and voids the PC's
// reservations that no record closed (a crash). Every number is reserved and
// committed before it is stamped, and SERIAL.TXT follows the database's
// counter, so that the main window later goes on after it. A reader's record
// is committed before the reader is shown done.
//
// While the database is away (a restart, a cut connection) no number is
// given: the reader fails with a step text and nothing is stamped. The next
// reader tries to reach it again, at once and then after pauses that double up
// to a ceiling (records_link.h); once back, the PC is taken again and what
// the lost connection left open is voided. A reader stamped before the loss
// waits, within the same pauses, to have its record written.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <set>

#include "station/number_source.h"
#include "station/records_link.h"

namespace usbisp::station {

inline constexpr const char* kDatabaseAway =
    "Error!!! The line's database cannot be reached: no serial number given";
inline constexpr const char* kRecordNotKept =
    "Error!!! The line's database did not keep the record";

class DbNumbers : public NumberSource {
  public:
    // `station`: the station's name in the database (the holder of its PC).
    DbNumbers(ProductionLog& log, StationTime& time, std::string url, std::string station)
        : log_(log), time_(time), url_(std::move(url)), station_(std::move(station)) {}

    bool Claim(Platform& files, const OperatorMessages& messages) override;
    bool Load(Platform& files, const OperatorMessages& messages) override;
    TakenNumber Take(Platform& files, const OperatorMessages& messages, bool userSerial,
                     const NumberFor& who) override;
    bool Record(const ReaderRecord& record, const std::string& line, std::string& why) override;
    void End() override;
    std::string halted() const override;
    int voidedAtLoad() const override;
    SerialCounter counter() const override;
    std::string state() const override;

  private:
    bool LoadLocked(Platform& files, const OperatorMessages& messages);
    // Connected, with the PC held; tries again when the pause is over.
    // `held`: another station holds the PC.
    bool Linked(std::string& why, bool* held = nullptr);
    bool TryLink(std::string& why, bool* held);
    void Lost();

    ProductionLog& log_;
    StationTime& time_;
    const std::string url_;
    const std::string station_;
    mutable std::mutex mutex_;
    std::unique_ptr<FileLock> lock_;
    DbLink link_;
    Backoff backoff_;
    bool loaded_ = false;
    bool linked_ = false;
    std::atomic<bool> away_{false};  // the last try to reach the database failed
    std::string halted_;             // the PC is another station's: the station does not start
    SerialCounter counter_;          // CEM, the PC and the next number as last known
    std::set<std::uint32_t> inFlight_;
    int voided_ = 0;
};

}  // namespace usbisp::station
