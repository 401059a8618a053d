// How usbisp ends, in every mode: the one list that --help prints and the man
// page and the README repeat (a test holds them to it).
#pragma once

#include "station/station.h"

namespace usbisp {

enum ExitStatus : int {
    kExitFine = 0,           // the window or the script ended; every reader done
    kExitReadersFailed = 1,  // the station ended with readers that failed
    kExitUsage = 2,          // usage error, bad bench or script, impossible action
    kExitHalted = 3,         // the station halted: it took no further reader
    kExitRefused = 4,        // the station refused to start
};

// The list as --help gives it.
extern const char* const kExitStatusHelp;

namespace station {

// The status of a station that ran to its end, from its last board.
int EndStatus(const Board& end);

}  // namespace station
}  // namespace usbisp
