// ASPI requests and their completions across threads: every request completes
// once and only into its own record, whatever the latency; a request that
// does not complete in time is given up, and its late completion does not
// land on the next one. Built a second time with ThreadSanitizer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/aspi.h"
#include "platform/sim/bench.h"
#include "platform/sim/bench_config.h"

namespace usbisp {
namespace {

sim::BenchConfig AspiBench(int latency, const std::string& reader = "") {
    std::string error;
    const std::string json =
        R"({"windows": "me", "aspi": {"adapters": 1, "latency": )" + std::to_string(latency) +
        R"(}, "readers": [{"letters": "E", "aspi": [0, 1], "inquiry": {"vendor": "Generic",)"
        R"( "product": "Flash Reader"})" +
        reader + "}]}";
    auto config = sim::ParseBenchConfig(json, ".", error);
    EXPECT_TRUE(config) << error;
    return *config;
}

InquiryIdentity Identity(const std::string& text) {
    InquiryIdentity identity{};
    for (std::size_t i = 0; i < identity.size(); ++i) identity[i] = i < text.size() ? text[i] : ' ';
    return identity;
}

struct AspiRun {
    explicit AspiRun(sim::BenchConfig config)
        : bench(
              std::move(config), "/nonexistent",
              [this](const std::string& line) {
                  if (line.rfind("io aspi exec", 0) == 0) ++submitted;
              },
              true) {
        EXPECT_EQ(LoadAspi(bench, state), 0);
    }
    ~AspiRun() { UnloadAspi(bench, state); }
    int submitted = 0;
    sim::Bench bench;
    AspiState state;
};

TEST(AspiTransport, EveryRequestCompletesOnceAtAnyLatency) {
    const InquiryIdentity wanted = Identity("Generic Flash Reader");
    const InquiryIdentity other = Identity("Other   Reader");
    for (int latency : {0, 1, 7, 30, 250}) {
        SCOPED_TRACE(latency);
        AspiRun run(AspiBench(latency));
        AspiTransport transport(run.bench, run.state);
        int requests = 0;
        for (int i = 0; i < 40; ++i) {
            bool matched = false;
            EXPECT_TRUE(transport.Inquiry(0, 1, other, wanted, matched));
            EXPECT_TRUE(matched);
            EXPECT_TRUE(transport.Inquiry(0, 2, wanted, wanted, matched));  // no device there
            EXPECT_FALSE(matched);
            std::uint8_t status = 0xEE;
            EXPECT_TRUE(transport.GetIspStatus(0, 1, status));
            EXPECT_EQ(status, i == 0 ? 0x00 : 0x9C) << i;  // what the jump before left
            EXPECT_TRUE(transport.IspJump(0, 1));
            requests += 4;
        }
        EXPECT_EQ(run.submitted, requests);
        // Each request waited exactly for its own completion.
        const std::uint64_t perRequest =
            latency == 0 ? 0 : (static_cast<std::uint64_t>(latency) + 9) / 10 * 10;
        const std::uint64_t perIsp =
            latency == 0 ? 0 : (static_cast<std::uint64_t>(latency) + 99) / 100 * 100;
        EXPECT_EQ(run.bench.ElapsedMs(), 40 * (2 * perRequest + 2 * perIsp));
    }
}

TEST(AspiTransport, ALateCompletionStaysWithItsOwnRequest) {
    // 3.5 s: past the bound of the jump (2 s and a margin of 1), within that
    // of the status read (30 s).
    AspiRun run(AspiBench(3500));
    AspiTransport transport(run.bench, run.state);
    EXPECT_FALSE(transport.IspJump(0, 1));
    EXPECT_EQ(run.bench.ElapsedMs(), 3000u);
    std::uint8_t status = 0;
    // The jump's completion falls due at 3.5 s, during this wait: the status
    // read still waits for its own, due at 6.5 s, with the jump's answer.
    EXPECT_TRUE(transport.GetIspStatus(0, 1, status));
    EXPECT_EQ(status, 0x9C);
    EXPECT_EQ(run.bench.ElapsedMs(), 6500u);
}

TEST(AspiTransport, ARequestThatNeverCompletesIsGivenUp) {
    AspiRun run(AspiBench(1, R"(, "hangs": ["GetIspStatus#1"])"));
    AspiTransport transport(run.bench, run.state);
    std::uint8_t status = 0x77;
    EXPECT_FALSE(transport.GetIspStatus(0, 1, status));
    EXPECT_EQ(status, 0x77);  // nothing completed, nothing handed back
    EXPECT_EQ(run.bench.ElapsedMs(), 31000u);
    // The next one is answered as usual.
    EXPECT_TRUE(transport.GetIspStatus(0, 1, status));
    EXPECT_EQ(status, 0x00);
}

}  // namespace
}  // namespace usbisp
