#include "platform/sim/bench_file.h"

#include <fstream>
#include <sstream>

#include "platform/sim/recording_bench.h"

namespace usbisp::sim {

const char* DemoBenchJson() {
    // The reader holds the demo firmware at start: the ROM code file
    // demo/files/DEMO7620.BIN byte for byte, so that a first verification
    // finds them equal. Realtime, so that the status window's progress is seen.
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
      "hardwareRevision": "76 20 43",
      "firmware": ")"
           "02fef05bb7c61f369cb28cf920491b8561adca5bbacd69a3e04f19f8bf3886f9"
           "1261e490c49aab000a9b11b13daf4cbb781f8434f65f9a3a28fa9bbf993f0217"
           "82a9b1432c0faefb0a909e7d923c0218df833377085e1eae3e3fc006a8b96089"
           "feef904ce7bee17f13aa69351889f6f40df10ffce963ae589934c0a6e33f58a5"
           "fd4cb783ec3ffde49e00abb2c62ee0a77b834f9b9005038eb1f2d2754269a2c5"
           "f7d85fc03329b88222ac9ccb95c3788aa14f2d2df5ddd3aaff91304dbecef640"
           "65abc0dcb515cbb218c474577cdf75f3f56edf891283d704fa2810054f070c6e"
           "bfdc12ae6a9beecbf7606b30741b913cf1f79f86dc8fc7f21bd0ac75ecac9ca8"
           "7c848d0e4852d9243799b92e740e83bc0d04a3ff4d985bcdd9a03a758d545e44"
           "14ba69d449d3441851879627755103cbc0ab25c95c374beeadb2f4de2b98099c"
           "0097ded865b6e7fcbc423af56e7cc8c182045bbd02044fac0e1c1087bd105707"
           "b73323f393937929f1e1dd6f57278cf7cc287eb436961e5f75f6c7483b54fedd"
           "b2a672fbcc01b4f8677eb66d29e905c4162fc685f186725f585a51f99efbb876"
           "680702ca06984fc0972effc7db5bed80d6316b082a6c0205325ee672de9e3b2b"
           "516f0a373cf202d9f80cee556615fa838745a515dadf85a7791bbe8bf2d44052"
           "e6f6c41b64a5849b032ebdf0c1aee5259e84ac84f878b59fa5a8111dd2368045"
           "4944373632300000000000000000000000000000000000000000000000000000"
           "100347656e657269632020202020202020202020202020202020200355534220"
           "43617264205265616465722020202020202020201a0330003000300030003000"
           "3000300030003000300030003100000000000000000000000000000000000000"
           "000000000000000000000000000000008f056263000000000000312e30300000"
           "000047656e6572696320466c6173682052656164657220202020000000000000"
           "000000000000000000000000000000000000000000009eb3664c764a8f5f2fad"
           "a26fe5bf66be9506b82e7ccf48442f1e17ff775cb15bf2bf2aa46a79d97bf4a0"
           "d7a9c9e036a7e4e201e95f7bf8ee8e950809d8de8ced593246fa3ac91b49cb20"
           "927965a90b370232bf8f99157bf63a251c13ee53c9514c24f326dbd30e202b45"
           "0cb4b2b19ec6670b2af720358ab2ace58af6b05420e142ac6900472f68588d27"
           "7d33a791a7ac8c8879faee72dd7c5cee8c88177949f3b4e3e0607574e24a68dd"
           "1dcf3de0de42e8bfe66efb662dabc15759a31a59fce119e0901f5e3b344c3580"
           "245f6b37fadef4c9a72d3ea730975339281eb18df103e9bcb114fa1c16b86b27"
           "cabb2a2eb5da27bdf60eb0cd9f998bac32d1d5addfaf9d8f7b173fae40e582ec"
           "47bb715dc68dfab509e948713207e0c8b0957d50803fac712600288a6a2b55aa"
           R"("
    }
  ]
})";
}

namespace {

// Whether the file at `path` names itself a recording: its first key, read
// from the file's start.
bool RecordingFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string start(256, '\0');
    in.read(start.data(), static_cast<std::streamsize>(start.size()));
    start.resize(static_cast<std::size_t>(in.gcount()));
    return rec::LooksLikeRecording(start);
}

}  // namespace

bool ReadBenchText(const std::string& path, BenchText& bench, std::string& error) {
    bench = BenchText{DemoBenchJson(), ".", "demo bench"};
    if (path.empty()) return true;
    bench.name = path;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot read the bench file";
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    bench.text = buffer.str();
    const auto slash = path.find_last_of('/');
    if (slash != std::string::npos) bench.baseDir = path.substr(0, slash);
    return true;
}

std::optional<BenchConfig> LoadBenchFile(const std::string& path, std::string& error) {
    // A recording is a bench of its own; it is read with its own bound.
    if (!path.empty() && RecordingFile(path)) {
        auto recording = LoadRecording(path, error);
        if (!recording) return std::nullopt;
        return BenchFromRecording(std::move(recording), path);
    }
    BenchText bench;
    if (!ReadBenchText(path, bench, error)) return std::nullopt;
    std::string what;
    auto config = ParseBenchConfig(bench.text, bench.baseDir, what);
    if (!config) error = bench.name + ": " + what;
    return config;
}

}  // namespace usbisp::sim
