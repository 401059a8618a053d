// Loading the bench file, or the built-in demo bench when none is named.
#pragma once

#include <optional>
#include <string>

#include "platform/sim/bench_config.h"

namespace usbisp::sim {

// The built-in demo bench: Windows XP, one card reader on E:.
const char* DemoBenchJson();

// The text of the bench file at `path` (empty: the demo bench), the directory
// its "@FILE" names are relative to, and the name errors give it. False with
// `error` when the file cannot be read.
struct BenchText {
    std::string text;
    std::string baseDir;
    std::string name;
};
bool ReadBenchText(const std::string& path, BenchText& bench, std::string& error);

// Reads and checks the bench file at `path` (empty: the demo bench). On error
// `error` holds one line naming the file, the key and what is wrong.
std::optional<BenchConfig> LoadBenchFile(const std::string& path, std::string& error);

}  // namespace usbisp::sim
