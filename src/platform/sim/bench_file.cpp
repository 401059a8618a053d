#include "platform/sim/bench_file.h"

#include <fstream>
#include <sstream>

namespace usbisp::sim {

const char* DemoBenchJson() {
    return R"({
  "windows": "xp",
  "realtime": true,
  "drives": "C",
  "readers": [
    {
      "letters": "E",
      "vid": "058f", "pid": "6362",
      "manufacturer": "Generic", "product": "USB Card Reader", "serial": "000000000001",
      "inquiry": {"vendor": "Generic", "product": "Flash Reader", "revision": "1.00"},
      "firmwareRevision": "01 02 03 03 05 14 01 02",
      "firmwareRevisionOrg": "01 02 35 14",
      "usb20FirmwareRevision": "01 02 03 03 05 14 01 02",
      "hardwareRevision": "76 20 43"
    }
  ]
})";
}

std::optional<BenchConfig> LoadBenchFile(const std::string& path, std::string& error) {
    std::string text;
    std::string baseDir = ".";
    std::string name = "demo bench";
    if (path.empty()) {
        text = DemoBenchJson();
    } else {
        name = path;
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            error = path + ": cannot read the bench file";
            return std::nullopt;
        }
        std::ostringstream buffer;
        buffer << in.rdbuf();
        text = buffer.str();
        const auto slash = path.find_last_of('/');
        if (slash != std::string::npos) baseDir = path.substr(0, slash);
    }
    std::string what;
    auto config = ParseBenchConfig(text, baseDir, what);
    if (!config) error = name + ": " + what;
    return config;
}

}  // namespace usbisp::sim
