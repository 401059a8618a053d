// A bench built from a JSON text, with the events it writes collected, for the
// tests of the pass-through transport and of the emulated card readers.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/bench.h"
#include "platform/sim/bench_config.h"

namespace usbisp::testing {

class BenchFixture {
  public:
    // Declared before the bench, which writes into it.
    std::vector<std::string> events;

    explicit BenchFixture(const std::string& json, bool traceIo = true)
        : bench_(
              Parse(json), "/nonexistent",
              [this](const std::string& line) { events.push_back(line); }, traceIo) {}

    sim::Bench& bench() { return bench_; }
    // The events since the last call.
    std::vector<std::string> Take() {
        std::vector<std::string> taken;
        taken.swap(events);
        return taken;
    }

  private:
    static sim::BenchConfig Parse(const std::string& json) {
        std::string error;
        auto config = sim::ParseBenchConfig(json, ".", error);
        EXPECT_TRUE(config.has_value()) << error;
        return config ? *config : sim::BenchConfig{};
    }

    sim::Bench bench_;
};

}  // namespace usbisp::testing
