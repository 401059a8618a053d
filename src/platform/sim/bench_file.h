// Loading the bench file, or the built-in demo bench when none is named.
#pragma once

#include <optional>
#include <string>

#include "platform/sim/bench_config.h"

namespace usbisp::sim {

// The built-in demo bench: Windows XP, one card reader on E:.
const char* DemoBenchJson();

// Reads and checks the bench file at `path` (empty: the demo bench). On error
// `error` holds one line naming the file, the key and what is wrong.
std::optional<BenchConfig> LoadBenchFile(const std::string& path, std::string& error);

}  // namespace usbisp::sim
