// The programs a script starts, by number: the first started is #1. A text
// the driver prints names a program's process as "process #N" instead of its
// id, which differs from run to run; the script's expected text then says
// which of its programs a message names.
#pragma once

#include <string>
#include <vector>

namespace wine_driver {

// `text` with every "process ID" of a program in `processIds` (in start
// order) written "process #N". Only a whole number is an id.
std::string NameProcesses(const std::string& text, const std::vector<unsigned long>& processIds);

}  // namespace wine_driver
