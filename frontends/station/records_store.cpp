#include "station/records_store.h"

#include "platform/printf_text.h"

namespace usbisp::station {

namespace {

// The first key of the advisory locks of a PC ("USBI"); the second is the PC.
constexpr const char* kLockKey = "1431519817";

constexpr const char* kCreate = R"sql(
CREATE TABLE usbisp_schema (version integer NOT NULL);
CREATE TABLE usbisp_counter (
    pc integer PRIMARY KEY CHECK (pc BETWEEN 0 AND 255),
    cnt integer NOT NULL CHECK (cnt BETWEEN 0 AND 65535));
CREATE TABLE usbisp_holder (
    pc integer PRIMARY KEY,
    station text NOT NULL,
    since timestamptz NOT NULL DEFAULT now());
CREATE TABLE usbisp_reservation (
    pc integer NOT NULL,
    cnt integer NOT NULL,
    station text NOT NULL,
    port text NOT NULL,
    reader integer NOT NULL,
    time timestamp NOT NULL,
    state text NOT NULL DEFAULT 'reserved' CHECK (state IN ('reserved', 'programmed', 'void')),
    PRIMARY KEY (pc, cnt));
CREATE TABLE usbisp_reader (
    id bigserial PRIMARY KEY,
    station text NOT NULL,
    time timestamp NOT NULL,
    port text NOT NULL,
    reader integer NOT NULL,
    pc integer,
    cnt integer,
    serial text,
    result text NOT NULL CHECK (result IN ('programmed', 'verified', 'failed')),
    step text,
    duration_ms bigint NOT NULL,
    line jsonb NOT NULL);
CREATE INDEX usbisp_reader_time ON usbisp_reader (time);
CREATE INDEX usbisp_reader_serial ON usbisp_reader (serial);
)sql";

std::string Number(std::uint32_t value) {
    return std::to_string(value);
}

// The version the tables say, none when there are no tables; -1 when unreadable.
int StoredVersion(DbLink& link, std::string& error) {
    DbResult exists = link.Exec("SELECT to_regclass('usbisp_schema') IS NOT NULL");
    if (!exists.ok || exists.rows.size() != 1 || !exists.rows[0].at(0)) {
        error = exists.error;
        return -1;
    }
    if (*exists.rows[0][0] != "t") return 0;
    DbResult version = link.Exec("SELECT max(version) FROM usbisp_schema");
    if (!version.ok || version.rows.size() != 1 || !version.rows[0].at(0)) {
        error = version.ok ? "the schema table holds no version" : version.error;
        return -1;
    }
    try {
        return std::stoi(*version.rows[0][0]);
    } catch (...) {
        error = "the schema table holds no version";
        return -1;
    }
}

}  // namespace

bool InitSchema(DbLink& link, std::string& said) {
    std::string error;
    const int version = StoredVersion(link, error);
    if (version < 0) {
        said = "cannot read the schema's version: " + error;
        return false;
    }
    if (version == kSchemaVersion) {
        said = "the line's tables are there, version " + std::to_string(version);
        return true;
    }
    if (version > kSchemaVersion) {
        said = "the line's tables are of version " + std::to_string(version) +
               ", newer than this program's " + std::to_string(kSchemaVersion) +
               ": left as they are";
        return false;
    }
    const std::string create = kCreate + std::string("INSERT INTO usbisp_schema VALUES (") +
                               std::to_string(kSchemaVersion) + ");";
    // Several statements in one query string run as one transaction.
    DbResult made = link.Script(create);
    if (!made.ok) {
        said = "cannot create the line's tables: " + made.error;
        return false;
    }
    said = "the line's tables made, version " + std::to_string(kSchemaVersion);
    return true;
}

bool CheckSchema(DbLink& link, std::string& error) {
    const int version = StoredVersion(link, error);
    if (version < 0) {
        error = "cannot read the schema's version: " + error;
        return false;
    }
    if (version == 0) {
        error =
            "the database has no tables of the line: make them with usbisp --records URL --init";
        return false;
    }
    if (version != kSchemaVersion) {
        error = "the line's tables are of version " + std::to_string(version) +
                "; this program knows version " + std::to_string(kSchemaVersion);
        return false;
    }
    return true;
}

PcTaken TakePc(DbLink& link, const std::string& station, std::uint32_t pc, std::uint32_t fileCnt,
               std::uint32_t& cnt, std::string& why) {
    const std::string pcText = Number(pc);
    DbResult lock =
        link.Exec(std::string("SELECT pg_try_advisory_lock(") + kLockKey + ", $1)", {pcText});
    if (!lock.ok || lock.rows.size() != 1 || !lock.rows[0].at(0)) {
        why = "cannot take the PC: " + lock.error;
        return PcTaken::Failed;
    }
    if (*lock.rows[0][0] != "t") {
        DbResult holder = link.Exec(
            "SELECT station, to_char(since, 'YYYY-MM-DD HH24:MI:SS') FROM usbisp_holder "
            "WHERE pc = $1",
            {pcText});
        std::string name = "another station";
        if (holder.ok && holder.rows.size() == 1 && holder.rows[0].at(0) && holder.rows[0].at(1))
            name = "station \"" + *holder.rows[0][0] + "\" (since " + *holder.rows[0][1] + ")";
        why = Printf("PC 0x%02x is taken by ", pc) + name;
        return PcTaken::Held;
    }
    DbResult named = link.Exec(
        "INSERT INTO usbisp_holder (pc, station) VALUES ($1, $2) "
        "ON CONFLICT (pc) DO UPDATE SET station = EXCLUDED.station, since = now()",
        {pcText, station});
    // The counter never goes back: SERIAL.TXT may be behind the database (the
    // PC moved between stations) or ahead (the main window used it since).
    DbResult counter = link.Exec(
        "INSERT INTO usbisp_counter (pc, cnt) VALUES ($1, $2) ON CONFLICT (pc) "
        "DO UPDATE SET cnt = GREATEST(usbisp_counter.cnt, EXCLUDED.cnt) RETURNING cnt",
        {pcText, Number(fileCnt)});
    if (!named.ok || !counter.ok || counter.rows.size() != 1 || !counter.rows[0].at(0)) {
        why = "cannot take the PC: " + (named.ok ? counter.error : named.error);
        link.Exec(std::string("SELECT pg_advisory_unlock(") + kLockKey + ", $1)", {pcText});
        return PcTaken::Failed;
    }
    cnt = static_cast<std::uint32_t>(std::stoul(*counter.rows[0][0]));
    return PcTaken::Taken;
}

bool VoidUnrecorded(DbLink& link, std::uint32_t pc, const std::set<std::uint32_t>& inFlight,
                    std::vector<std::uint32_t>& voided, std::string& error) {
    std::string running = "{";
    for (std::uint32_t cnt : inFlight) running += (running.size() > 1 ? "," : "") + Number(cnt);
    running += "}";
    DbResult result = link.Exec(
        "UPDATE usbisp_reservation SET state = 'void' WHERE pc = $1 AND state = 'reserved' "
        "AND NOT (cnt = ANY ($2::integer[])) RETURNING cnt",
        {Number(pc), running});
    if (!result.ok) {
        error = result.error;
        return false;
    }
    voided.clear();
    for (const auto& row : result.rows)
        if (row.at(0)) voided.push_back(static_cast<std::uint32_t>(std::stoul(*row[0])));
    return true;
}

std::optional<std::uint32_t> Reserve(DbLink& link, std::uint32_t pc, const Reservation& who,
                                     bool& exhausted, std::string& error) {
    exhausted = false;
    DbResult result = link.Exec(
        "WITH n AS (UPDATE usbisp_counter SET cnt = cnt + 1 WHERE pc = $1 AND cnt < 65535 "
        "RETURNING cnt - 1 AS cnt) "
        "INSERT INTO usbisp_reservation (pc, cnt, station, port, reader, time) "
        "SELECT $1, cnt, $2, $3, $4, $5::timestamp FROM n RETURNING cnt",
        {Number(pc), who.station, who.port, std::to_string(who.reader), who.time});
    if (!result.ok) {
        error = result.error;
        return std::nullopt;
    }
    if (result.rows.size() != 1 || !result.rows[0].at(0)) {
        exhausted = true;
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(std::stoul(*result.rows[0][0]));
}

bool Record(DbLink& link, const std::string& station, const ReaderRecord& r,
            const std::string& line, std::string& error) {
    const char* result = r.result == ReaderResult::Programmed ? "programmed"
                         : r.result == ReaderResult::Verified ? "verified"
                                                              : "failed";
    const std::string pc = r.number ? Number(r.number->PC) : "";
    const std::string cnt = r.number ? Number(r.number->CNT) : "";
    // A reader with a number closes its open reservation, or nothing is
    // written: a record without its reservation would account twice.
    DbResult written = link.Exec(
        "WITH s AS (UPDATE usbisp_reservation SET state = $7 "
        "WHERE pc = NULLIF($5, '')::integer AND cnt = NULLIF($6, '')::integer "
        "AND state = 'reserved' RETURNING 1) "
        "INSERT INTO usbisp_reader (station, time, port, reader, pc, cnt, serial, result, step, "
        "duration_ms, line) "
        "SELECT $1, $2::timestamp, $3, $4::integer, NULLIF($5, '')::integer, "
        "NULLIF($6, '')::integer, NULLIF($8, ''), $9, NULLIF($10, ''), $11::bigint, $12::jsonb "
        "WHERE $5 = '' OR EXISTS (SELECT 1 FROM s) RETURNING id",
        {station, r.time, r.port, std::to_string(r.reader), pc, cnt,
         r.result == ReaderResult::Programmed ? "programmed" : "void", r.serial, result, r.step,
         std::to_string(r.durationMs), line});
    if (!written.ok) {
        error = written.error;
        return false;
    }
    if (written.rows.size() != 1) {
        error = "the reservation of " + r.serial + " is no longer open";
        return false;
    }
    return true;
}

}  // namespace usbisp::station
