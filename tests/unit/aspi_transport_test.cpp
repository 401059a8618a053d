// ASPI requests and their completions across threads: every request completes
// once and only into its own record, whatever the latency and however the
// library answers; a request that does not complete within the bound is
// given up, its late completion does not land on the next one, and the
// library is not unloaded under it. Built a second time with
// ThreadSanitizer, where the asynchronous library's completions race the
// poller for real.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "device/aspi.h"
#include "platform/sim/bench.h"
#include "platform/sim/bench_config.h"

namespace usbisp {
namespace {

sim::BenchConfig AspiBench(int latency, const std::string& reader = "",
                           const std::string& library = "") {
    std::string error;
    const std::string json =
        R"({"windows": "me", "aspi": {"adapters": 1, "latency": )" + std::to_string(latency) +
        library +
        R"(}, "readers": [{"letters": "E", "aspi": [0, 1], "inquiry": {"vendor": "Generic",)"
        R"( "product": "Flash Reader"})" +
        reader + "}]}";
    auto config = sim::ParseBenchConfig(json, ".", error);
    EXPECT_TRUE(config) << error;
    return config ? *config : sim::BenchConfig{};
}

InquiryIdentity Identity(const std::string& text) {
    InquiryIdentity identity{};
    for (std::size_t i = 0; i < identity.size(); ++i) identity[i] = i < text.size() ? text[i] : ' ';
    return identity;
}

const InquiryIdentity kWanted = Identity("Generic Flash Reader");
const InquiryIdentity kOther = Identity("Other   Reader");

struct AspiRun {
    explicit AspiRun(sim::BenchConfig config)
        : bench(
              std::move(config), "/nonexistent",
              [this](const std::string& line) {
                  if (line.rfind("io aspi exec", 0) == 0) ++submitted;
                  if (line.rfind("io load", 0) == 0 || line.rfind("io free", 0) == 0)
                      library.push_back(line);
              },
              true) {
        EXPECT_EQ(LoadAspi(bench, state), 0);
    }
    ~AspiRun() { UnloadAspi(bench, state); }
    int submitted = 0;
    std::vector<std::string> library;  // the load and free lines
    // Declared before the bench: the bench ends first, and with it any thread
    // that could still deliver into the requests.
    AspiState state;
    sim::Bench bench;
};

// Four kinds of request, forty times: each one's answer is its own.
void RoundsOfRequests(AspiRun& run, int rounds) {
    AspiTransport transport(run.bench, run.state);
    for (int i = 0; i < rounds; ++i) {
        SCOPED_TRACE(i);
        bool matched = false;
        EXPECT_TRUE(transport.Inquiry(0, 1, kOther, kWanted, matched));
        EXPECT_TRUE(matched);
        EXPECT_TRUE(transport.Inquiry(0, 2, kWanted, kWanted, matched));  // no device there
        EXPECT_FALSE(matched);
        std::uint8_t status = 0xEE;
        EXPECT_TRUE(transport.GetIspStatus(0, 1, status));
        EXPECT_EQ(status, i == 0 ? 0x00 : 0x9C);  // what the jump before left
        EXPECT_TRUE(transport.IspJump(0, 1));
    }
    EXPECT_EQ(run.submitted, 4 * rounds);
}

TEST(AspiTransport, EveryRequestCompletesOnceAtAnyLatency) {
    for (int latency : {0, 1, 7, 30, 250}) {
        SCOPED_TRACE(latency);
        AspiRun run(AspiBench(latency));
        RoundsOfRequests(run, 40);
        // Each request waited exactly for its own completion.
        const std::uint64_t perRequest =
            latency == 0 ? 0 : (static_cast<std::uint64_t>(latency) + 9) / 10 * 10;
        const std::uint64_t perIsp =
            latency == 0 ? 0 : (static_cast<std::uint64_t>(latency) + 99) / 100 * 100;
        EXPECT_EQ(run.bench.ElapsedMs(), 40 * (2 * perRequest + 2 * perIsp));
    }
}

TEST(AspiTransport, CompletionsThatRaceThePoller) {
    // The library's own thread delivers at the due time while the program
    // sleeps for real: nothing but the request's flags orders the two.
    for (int latency : {0, 5}) {
        SCOPED_TRACE(latency);
        sim::BenchConfig config = AspiBench(latency);
        config.realtime = true;
        config.aspiAsync = true;
        AspiRun run(std::move(config));
        RoundsOfRequests(run, 8);
    }
}

TEST(AspiTransport, EveryRequestIsGivenUpAtTheSameGenerousBound) {
    // 31 s for every request, past the longest command time-out (30 s): a
    // bound against a library that never completes, not a time-out.
    struct Row {
        const char* hangs;
        bool (*send)(AspiTransport&);
    };
    const Row rows[] = {
        {"Inquiry",
         [](AspiTransport& t) {
             bool matched = true;
             const bool completed = t.Inquiry(0, 1, kWanted, kWanted, matched);
             EXPECT_FALSE(matched);
             return completed;
         }},
        {"ReadIdentity",
         [](AspiTransport& t) {
             std::vector<std::uint8_t> identity(528, 0x77);
             const bool ok = t.ReadIdentity(0, 1, identity.data());
             EXPECT_EQ(identity, std::vector<std::uint8_t>(528, 0x77));  // nothing handed back
             return ok;
         }},
        {"IspJump", [](AspiTransport& t) { return t.IspJump(0, 1); }},
        {"GetIspStatus",
         [](AspiTransport& t) {
             std::uint8_t status = 0x77;
             const bool ok = t.GetIspStatus(0, 1, status);
             EXPECT_EQ(status, 0x77);
             return ok;
         }},
        {"IspWrite",
         [](AspiTransport& t) {
             std::vector<std::uint8_t> image(512, 0x11);
             return t.IspTransfer(0, 1, 512, 512, 0, image.data());
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.hangs);
        AspiRun run(AspiBench(1, std::string(R"(, "hangs": [")") + row.hangs + "\"]"));
        AspiTransport transport(run.bench, run.state);
        EXPECT_FALSE(row.send(transport));
        EXPECT_EQ(run.bench.ElapsedMs(), 31000u);
    }
}

TEST(AspiTransport, ALateCompletionStaysWithItsOwnRequest) {
    // The jump completes after 33 s, past the bound; every other request after
    // 5 s. The status read submitted at 31 s waits for its own completion (due
    // at 36 s), not for the jump's, which falls due during its wait.
    AspiRun run(AspiBench(5000, R"(, "delays": {"IspJump#1": 33000})"));
    AspiTransport transport(run.bench, run.state);
    EXPECT_FALSE(transport.IspJump(0, 1));
    EXPECT_EQ(run.bench.ElapsedMs(), 31000u);
    std::uint8_t status = 0;
    EXPECT_TRUE(transport.GetIspStatus(0, 1, status));
    EXPECT_EQ(status, 0x9C);  // the jump took effect when it was submitted
    EXPECT_EQ(run.bench.ElapsedMs(), 36000u);
}

TEST(AspiTransport, TheLibraryStaysLoadedUnderAGivenUpRequest) {
    AspiRun run(AspiBench(1, R"(, "delays": {"IspJump#1": 40000})"));
    AspiTransport transport(run.bench, run.state);
    EXPECT_FALSE(transport.IspJump(0, 1));
    // Let go while the jump is still posted: the last reference stays, and the
    // bench finds no leak in it.
    UnloadAspi(run.bench, run.state);
    EXPECT_EQ(run.library, std::vector<std::string>{"io load \"WNASPI32\" ok"});
    EXPECT_EQ(run.bench.openHandleCount(), 0u);
    // The jump completes at 40 s; the next use of ASPI frees the kept
    // reference before it loads the library again.
    run.bench.Sleep(9000);
    EXPECT_EQ(LoadAspi(run.bench, run.state), 0);
    EXPECT_EQ(run.library,
              (std::vector<std::string>{"io load \"WNASPI32\" ok", "io free \"WNASPI32\"",
                                        "io load \"WNASPI32\" ok"}));
}

TEST(AspiTransport, ARequestThatNeverCompletesKeepsTheLibraryToTheEnd) {
    AspiRun run(AspiBench(1, R"(, "hangs": ["GetIspStatus#1"])"));
    AspiTransport transport(run.bench, run.state);
    std::uint8_t status = 0x77;
    EXPECT_FALSE(transport.GetIspStatus(0, 1, status));
    // The next one is answered as usual.
    EXPECT_TRUE(transport.GetIspStatus(0, 1, status));
    EXPECT_EQ(status, 0x00);
    // A second load, and two lets-go: one reference goes, the last stays.
    UnloadAspi(run.bench, run.state);
    EXPECT_EQ(LoadAspi(run.bench, run.state), 0);
    UnloadAspi(run.bench, run.state);
    ReleaseAspiAtExit(run.bench, run.state);
    EXPECT_EQ(run.library,
              (std::vector<std::string>{"io load \"WNASPI32\" ok", "io load \"WNASPI32\" ok",
                                        "io free \"WNASPI32\""}));
    EXPECT_EQ(run.bench.openHandleCount(), 0u);
}

TEST(AspiTransport, TheBenchRefusesToUnloadUnderAPostedRequest) {
    // As Windows would run the completion in code that is gone.
    AspiRun run(AspiBench(1, R"(, "hangs": ["IspJump#1"])"));
    AspiTransport(run.bench, run.state).IspJump(0, 1);
    EXPECT_FALSE(run.bench.FreeLibrary(run.state.library));
    EXPECT_EQ(run.library.back(), "io free \"WNASPI32\" fail reason=\"1 request is still posted\"");
    EXPECT_EQ(run.bench.openHandleCount(), 0u);
}

TEST(AspiTransport, AStatusAnsweredAtOnceIsTheCompletion) {
    // An absent target (0x82) and an adapter past the last (0x81), however
    // the library answers them: posted later, returned at once, or both.
    struct Row {
        const char* library;
        std::uint64_t elapsed;  // of one round
    };
    const Row rows[] = {
        // A poll for each of the three inquiries, one for the status read.
        {R"(, "immediateFailures": "post")", 10 + 10 + 10 + 100},
        // Only the reader's inquiry is waited for.
        {R"(, "immediateFailures": "return")", 10},
        {R"(, "immediateFailures": "return-and-post")", 10},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.library);
        AspiRun run(AspiBench(5, "", row.library));
        AspiTransport transport(run.bench, run.state);
        for (int i = 0; i < 3; ++i) {
            bool matched = true;
            EXPECT_TRUE(transport.Inquiry(0, 3, kWanted, kWanted, matched));
            EXPECT_FALSE(matched);
            EXPECT_TRUE(transport.Inquiry(1, 1, kWanted, kWanted, matched));
            EXPECT_FALSE(matched);
            // The reader's own completion is not taken for one of those.
            EXPECT_TRUE(transport.Inquiry(0, 1, kWanted, kWanted, matched));
            EXPECT_TRUE(matched);
            std::uint8_t status = 0x77;
            EXPECT_FALSE(transport.GetIspStatus(0, 4, status));
        }
        EXPECT_EQ(run.bench.ElapsedMs(), 3 * row.elapsed);
        // Nothing is left to a routine once the library is let go.
        UnloadAspi(run.bench, run.state);
        EXPECT_TRUE(run.state.inFlight.empty());
        EXPECT_EQ(run.library.back(), "io free \"WNASPI32\"");
    }
}

}  // namespace
}  // namespace usbisp
