// usbisp --station: the production station, over the bench's plug timeline or
// over the card readers plugged into this machine.
#pragma once

#include <iosfwd>

namespace usbisp::station {

// The whole command line (with --station among it); the exit status as
// exit_status.h lists it: how the readers ended, a usage error or a bad bench
// (2), a station that halted (3) or refused to start (4), one line on `err`.
int StationMain(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace usbisp::station
