// The checks of the bench file across its keys, once every key is read.
#include <set>
#include <utility>

#include "platform/sim/bench_keys.h"

namespace usbisp::sim {

namespace {

std::string ReaderKey(std::size_t index, const char* key) {
    return "readers[" + std::to_string(index) + "]." + key;
}

}  // namespace

void CheckAcrossFields(const BenchConfig& config) {
    if (config.aspiSwap) {
        const AspiSwap& w = *config.aspiSwap;
        const int readers = static_cast<int>(config.readers.size());
        if (w.first == w.second || w.first < 0 || w.second < 0 || w.first >= readers ||
            w.second >= readers)
            Fail("aspi.swap.readers", "must name two readers of the bench (0-based)");
        if (config.readers[static_cast<std::size_t>(w.first)].aspiAdapter < 0 &&
            config.readers[static_cast<std::size_t>(w.second)].aspiAdapter < 0)
            Fail("aspi.swap.readers", "neither reader has an ASPI address");
    }
    std::set<std::pair<int, int>> addresses;
    for (std::size_t i = 0; i < config.readers.size(); ++i) {
        const ReaderConfig& r = config.readers[i];
        if (r.aspiAdapter >= 0 && !addresses.insert({r.aspiAdapter, r.aspiTarget}).second)
            Fail(ReaderKey(i, "aspi"), "adapter and target are used twice");
    }
    std::set<char> used;
    auto claim = [&](char letter, const std::string& key) {
        if (!used.insert(letter).second)
            Fail(key, std::string("drive letter ") + letter + " is used twice");
    };
    for (char c : config.drives) claim(c, "drives");
    for (char c : config.remoteDrives) claim(c, "remoteDrives");
    for (std::size_t i = 0; i < config.readers.size(); ++i)
        for (char c : config.readers[i].letters) claim(c, ReaderKey(i, "letters"));
}

}  // namespace usbisp::sim
