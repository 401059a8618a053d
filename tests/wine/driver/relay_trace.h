// Which Windows calls the program makes, in order, through Wine's relay
// channel: "trace NAME..." asks Wine to report the calls of those names in the
// next program started, "calls" prints them once it has ended.
#pragma once

#include <string>
#include <vector>

namespace wine_driver {

// Tells Wine which functions to report (HKCU\Software\Wine\Debug,
// RelayInclude); false when the key cannot be written.
bool SetRelayFunctions(const std::vector<std::string>& names);
// The value WINEDEBUG takes for a program whose calls are traced.
inline constexpr const char* kRelayDebug = "+relay";
// Wine writes the traced program's calls to the standard error it inherits:
// the driver's, which the test script keeps in this file of the work folder.
inline constexpr const char* kWineLog = "WINE.LOG";

// The calls reported in `log`, one "call NAME ARG,ARG..." per call, the
// arguments in hexadecimal as Wine gives them, without leading zeros.
std::vector<std::string> RelayedCalls(const std::string& log);

}  // namespace wine_driver
