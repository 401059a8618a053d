// usbisp --records URL --init, and the reports:
//   usbisp --records URL --report [--since DATE] [--csv]
//   usbisp --report LOG [--since DATE] [--csv]
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace usbisp::station {

// Whether the command line is one of these (and not a station's).
bool IsRecordsCommand(const std::vector<std::string>& args);

// The arguments after the program's name; the exit status: 0 done, 1 the
// database or the log refused, 2 a usage error.
int RecordsMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace usbisp::station
