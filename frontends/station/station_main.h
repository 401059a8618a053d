// usbisp --station: the production station, over the bench's plug timeline or
// over the card readers plugged into this machine.
#pragma once

#include <iosfwd>

namespace usbisp::station {

// The whole command line (with --station among it); the exit status: 0 when
// the station ran to its end, 2 for a usage error, a bad bench, or a log or
// directory that cannot be used (one line on `err`).
int StationMain(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace usbisp::station
