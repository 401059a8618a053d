// The bench file: whatever JSON comes, the check refuses it with a message or
// yields a machine the bench can be built from.
#include <string>

#include "fuzz_support.h"
#include "platform/sim/bench_config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace usbisp;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    auto config = sim::ParseBenchConfig(text, usbisp::fuzz::ScratchDir(), error);
    if (!config) {
        if (error.empty()) __builtin_trap();
        return 0;
    }
    // A machine that passed the check is one the bench can run.
    sim::Bench bench(std::move(*config), fuzz::ScratchDir(), nullptr, false);
    bench.GetLocalTime();
    bench.GetLogicalDrives();
    return 0;
}
