// A recording as a bench (replay.h): the whole recording as the machine, its
// version, clock and drive letters the recorded ones and its devices the
// recorded ones; or one reader of a bench file, {"recording": "@FILE",
// "order": "recorded" | "any"}, beside the bench's other readers.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/recording.h"
#include "platform/sim/bench_config.h"
#include "platform/sim/bench_keys.h"

namespace usbisp::sim {

// Reads and checks the recording at `path` (bounded: a larger file is
// refused unread); nothing with `error` naming the file when it is not sound.
std::shared_ptr<const rec::Recording> LoadRecording(const std::string& path, std::string& error);

// The machine of a recording, replayed in the recorded order. `name` is its
// file, for the errors of the replay.
std::optional<BenchConfig> BenchFromRecording(std::shared_ptr<const rec::Recording> recording,
                                              const std::string& name);

// A reader of `readers` that is a recording (it has "recording" or "order").
RecordedReader ReadRecordedReader(const json& value, const std::string& path,
                                  const std::string& baseDir);

}  // namespace usbisp::sim
