// The lines of the production log, as JSON objects on one line each:
//   {"event":"start", ...}    a station started (and found its log writable)
//   {"event":"reader", ...}   one reader: identity, serial number, image, result
//   {"event":"counter", ...}  the serial counter the station started giving
//                             numbers from; with "end":true the counter it
//                             left at a clean end
//   {"event":"void", ...}     a number given out whose reader the log has no
//                             line for (a crash): never given again
//   {"event":"skip", ...}     numbers "cnt" to "last" that SERIAL.TXT was moved
//                             past while no station ran: given to no reader
//   {"event":"backwards", ...} the operator took a counter the log had
//                             accounted for already (--take-counter)
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
    std::string serial;                   // the serial number stamped, empty: none
    std::optional<SerialCounter> number;  // the counter value given to it
    bool stamped = true;                  // false: the number was used, the image took no serial
    std::string image;                    // the ROM code file
    // CRC-32 of the image as the run read and stamped it (what it sent)
    std::optional<std::uint32_t> imageCrc;
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
    bool refused = false;  // the station refused to start
};

std::string ReaderLine(const ReaderRecord& record);
// `mode`: "program" or "verify".
std::string StartLine(const std::string& time, const char* mode);
std::string CounterLine(const std::string& time, const SerialCounter& counter);
std::string EndCounterLine(const std::string& time, const SerialCounter& counter);
inline constexpr const char* kVoidLost =
    "given out before the station stopped; its reader has no line";
std::string VoidLine(const std::string& time, std::uint32_t pc, std::uint32_t cnt,
                     const char* reason = kVoidLost);
std::string SkipLine(const std::string& time, std::uint32_t pc, std::uint32_t first,
                     std::uint32_t last);
std::string BackwardsLine(const std::string& time, const SerialCounter& counter,
                          std::uint32_t highest);
std::string SummaryLine(const std::string& time, const RunCounts& counts);

// What the log says of one PC's numbers. Lines of other PCs, and lines that
// are not JSON (one cut short), are passed over.
struct PcHistory {
    bool found = false;     // a counter line of the PC
    std::uint32_t cnt = 0;  // the last one's value
    bool ended = false;     // the last one was written at a clean end
    // The numbers that reader and void lines after it account for.
    std::set<std::uint32_t> accounted;
    // The highest number of the PC the log accounts for (given, voided,
    // skipped, or below a counter line), since the last time an operator
    // took a counter below it.
    std::optional<std::uint32_t> highest;
};
PcHistory ScanLog(const std::vector<std::string>& lines, std::uint32_t pc);

}  // namespace usbisp::station
