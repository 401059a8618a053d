// A station on the bench: the bench file with the station's plug timeline.
// The readers of the bench file are the kinds of reader that arrive (each one
// plugged becomes a fresh reader of its kind, alone on a machine of its own,
// as each instance of the core sees only its own reader: readers may share
// drive letters, and a reader without `letters` is on E:). The key "station":
//
//   "station": {
//     "ports": 16,        the hub's ports (1 to 64; default: the highest
//                         port the plugs name, at least 1)
//     "handling": 2000,   ms from a port showing done or failed to its reader
//                         being unplugged, and from an unplug to the next
//                         reader of the line arriving (default 0)
//     "line": {"readers": 1000, "kinds": [1, 1, 2]},
//                         that many readers, one after another on every port
//                         from 0 ms on, of the kinds (readers of the bench
//                         file, 1-based) in turn (default [1])
//     "plugs": [{"at": 0, "port": 3, "kind": 2, "unplug": 150}]
//                         a reader of that kind arriving at that time (a busy
//                         port takes it once free); "unplug": the time it is
//                         pulled out whatever it is doing (default: handling
//                         after it is done)
//   }
//
// Without "station" every reader of the bench file arrives at 0 ms, on ports
// 1, 2, ... in order. The station's path is the pass-through of Windows XP:
// `windows` must be "xp".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/bench_config.h"

namespace usbisp::station {

struct Plug {
    std::uint64_t at = 0;
    int port = 1;
    int kind = 1;
    std::optional<std::uint64_t> unplug;
};

struct StationBench {
    std::vector<sim::BenchConfig> kinds;  // one machine with one reader each
    LocalTime start;                      // the bench clock at 0 ms
    bool realtime = false;
    int ports = 1;
    std::uint64_t handling = 0;
    int lineReaders = 0;
    std::vector<int> lineKinds;
    std::vector<Plug> plugs;
};

// `text` is the bench file, `baseDir` resolves its "@FILE" firmware. On error
// returns nothing with one line in `error` naming the key.
std::optional<StationBench> ParseStationBench(const std::string& text, const std::string& baseDir,
                                              std::string& error);

// Every key path a station's bench file may hold: the bench's own and the
// station's ("station.plugs[].unplug").
std::vector<std::string> StationBenchKeys();

// The file at `path` (empty: the built-in demo bench).
std::optional<StationBench> LoadStationBench(const std::string& path, std::string& error);

}  // namespace usbisp::station
