// The line's tables in PostgreSQL and the statements a station makes on
// them. Each PC has one counter row: the number its next reader receives.
// A number is reserved by one statement, so one transaction, that advances
// the counter and inserts its reservation (station, port, reader, time); the
// reader's record then closes the reservation as programmed or void, again
// in one statement. Which station holds a PC is a session-level advisory lock
// (it goes with the connection), and a holder row that names it for the
// stations that are refused.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "station/log_lines.h"
#include "station/records_link.h"

namespace usbisp::station {

// The tables' layout this program writes. A database of a newer one was made
// by a newer program and is not touched.
inline constexpr int kSchemaVersion = 1;

// --init: creates the tables, or finds them of this version. `said`: what
// was done, or why not.
bool InitSchema(DbLink& link, std::string& said);
// Before a station or a report uses the tables.
bool CheckSchema(DbLink& link, std::string& error);

enum class PcTaken { Taken, Held, Failed };

// Takes the PC for the station while the connection lives, and brings its
// counter to at least `fileCnt` (SERIAL.TXT's). `cnt`: the counter then.
// Held: `why` names the holder.
PcTaken TakePc(DbLink& link, const std::string& station, std::uint32_t pc, std::uint32_t fileCnt,
               std::uint32_t& cnt, std::string& why);

// The PC's reservations that have no record, but for those `inFlight`
// (readers still running), become void. `voided`: their numbers.
bool VoidUnrecorded(DbLink& link, std::uint32_t pc, const std::set<std::uint32_t>& inFlight,
                    std::vector<std::uint32_t>& voided, std::string& error);

struct Reservation {
    std::string station;
    std::string port;
    int reader = 0;
    std::string time;  // the station's clock, as the log writes it
};

// The PC's next number, reserved and committed. None with `error`;
// `exhausted` when the counter stands at 0xffff.
std::optional<std::uint32_t> Reserve(DbLink& link, std::uint32_t pc, const Reservation& who,
                                     bool& exhausted, std::string& error);

// The reader's record, closing its reservation (programmed, or void when it
// failed) in the same transaction. `line`: the log's JSON line of it.
bool Record(DbLink& link, const std::string& station, const ReaderRecord& record,
            const std::string& line, std::string& error);

}  // namespace usbisp::station
