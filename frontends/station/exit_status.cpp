#include "station/exit_status.h"

namespace usbisp {

const char* const kExitStatusHelp =
    "Exit status:\n"
    "  0      the window was closed or the script ran to its end, whatever the\n"
    "         program showed; the station ended with every reader done\n"
    "  1      the station ended with readers that failed\n"
    "  2      a usage error, a bench or script that cannot be read or is\n"
    "         invalid, or an action that is impossible while running\n"
    "  3      the station halted and took no further reader (the reason on\n"
    "         the board or in the transcript, and in the production log)\n"
    "  4      the station refused to start and programmed nothing (the reason\n"
    "         on standard error)\n"
    "  128+n  ended by signal n: Ctrl-C in the window (130), or at the station\n"
    "         a second INT, TERM or HUP (the first stops it as q does)\n";

namespace station {

int EndStatus(const Board& end) {
    if (end.counts.refused) return kExitRefused;
    if (end.halted) return kExitHalted;
    if (end.counts.failed > 0) return kExitReadersFailed;
    return kExitFine;
}

}  // namespace station
}  // namespace usbisp
