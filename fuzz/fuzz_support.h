// What the fuzzers share: a scratch directory of the process's own, the bench
// over it, and a view that keeps nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/sim/bench.h"
#include "script/recording_view.h"

namespace usbisp::fuzz {

// One directory for the whole run; each input overwrites the files it needs.
inline const std::string& ScratchDir() {
    static const std::string dir = [] {
        char pattern[] = "/tmp/usbisp-fuzz-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        return std::string(pattern);
    }();
    return dir;
}

inline void WriteFile(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const std::string path = ScratchDir() + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    if (std::fclose(file) != 0) std::abort();
}

inline void RemoveFile(const std::string& name) {
    std::remove((ScratchDir() + "/" + name).c_str());
}

inline sim::Bench MakeBench() {
    return sim::Bench(sim::BenchConfig{}, ScratchDir(), nullptr, false);
}

inline script::RecordingView& QuietView() {
    static script::RecordingView view([](const std::string&) {});
    return view;
}

}  // namespace usbisp::fuzz
