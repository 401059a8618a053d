// The command line of usbisp --station.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace usbisp::station {

struct StationOptions {
    std::string benchPath;  // empty with --real: the built-in demo bench otherwise
    bool real = false;
    std::string directory = ".";
    std::string logPath;  // default: PRODUCTION.LOG in the directory
    bool verifyOnly = false;
    bool traceIo = false;
    bool takeCounter = false;  // SERIAL.TXT's counter even below what the log accounts for
    bool headless = false;     // the transcript on stdout instead of the board
    int readers = 0;           // with --real: end once that many readers have left; 0: never
    std::string records;       // the line's database (a libpq connection string); empty: none
};

inline constexpr const char* kDefaultLogName = "PRODUCTION.LOG";

// The arguments after the program's name; nothing and `error` on a usage error.
std::optional<StationOptions> ParseStationOptions(const std::vector<std::string>& args,
                                                  std::string& error);

}  // namespace usbisp::station
