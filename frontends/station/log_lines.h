// The lines of the production log, as JSON objects on one line each:
//   {"event":"reader", ...}   one reader: identity, serial number, image, result
//   {"event":"counter", ...}  the serial counter the station started giving
//                             numbers from
//   {"event":"void", ...}     a number given out before a crash whose reader
//                             the log has no line for: never given again
//   {"event":"summary", ...}  the counts of a station run, at its end
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "firmware/firmware_state.h"

namespace usbisp::station {

// What a reader told about itself before anything was changed.
struct ReaderIdentity {
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
    std::string inquiryVendor;  // as the reader sent them, trailing blanks dropped
    std::string inquiryProduct;
    std::string inquiryRevision;
    std::vector<std::uint8_t> hardwareRevision;
    std::vector<std::uint8_t> firmwareRevision;  // before programming
};

enum class ReaderResult { Programmed, Verified, Failed };

struct ReaderRecord {
    std::string time;
    std::string port;
    int reader = 0;  // the how-manieth reader of the station's run
    std::optional<ReaderIdentity> identity;
    std::string serial;                     // the serial number stamped, empty: none
    std::optional<SerialCounter> number;    // the counter value given to it
    std::string image;                      // the ROM code file
    std::optional<std::uint32_t> imageCrc;  // CRC-32 of that file
    ReaderResult result = ReaderResult::Failed;
    std::string step;  // the failing step's text
    std::uint64_t durationMs = 0;
};

struct RunCounts {
    int programmed = 0;
    int verified = 0;
    int failed = 0;
    int voided = 0;
    int readersPerHour = 0;
};

std::string ReaderLine(const ReaderRecord& record);
std::string CounterLine(const std::string& time, const SerialCounter& counter);
std::string VoidLine(const std::string& time, std::uint32_t pc, std::uint32_t cnt);
std::string SummaryLine(const std::string& time, const RunCounts& counts);

// From the last counter line on: its value and the counter values (of its
// PC) that reader and void lines after it account for. Lines that are not
// JSON (one cut short) are passed over.
struct SinceLastCounter {
    bool found = false;
    std::uint32_t pc = 0;
    std::uint32_t cnt = 0;
    std::set<std::uint32_t> accounted;
};
SinceLastCounter ScanLog(const std::vector<std::string>& lines);

}  // namespace usbisp::station
