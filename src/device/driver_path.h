// How the program reaches one of the maker's drivers: as "\\.\" + the base
// name of the driver file.
#pragma once

#include <string>

namespace usbisp {

// "\\.\" and the characters of the file name before its first dot, when there
// are 1 to 14 of them; "\\.\" alone (which opens nothing) otherwise.
std::string DriverDevicePath(const std::string& driverFileName);

}  // namespace usbisp
