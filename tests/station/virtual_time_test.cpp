// The bench's clock of a station: runs on threads of their own that overlap
// on the clock, one running at a time, in an order that is the same every
// time.
#include "station/virtual_time.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace usbisp::station {
namespace {

const LocalTime kStart{2003, 11, 2, 18, 9, 30, 0, 0};

TEST(VirtualTime, RunsOverlapOnTheClockAndTakeTurnsInOrder) {
    VirtualTime time(kStart, false);
    std::vector<std::string> seen;  // only one thread runs at a time
    auto reader = [&](const std::string& name, std::uint32_t wait) {
        return [&, name, wait] {
            seen.push_back(name + " starts " + std::to_string(time.NowMs()));
            time.Sleep(wait);
            seen.push_back(name + " wakes " + std::to_string(time.NowMs()));
            time.Sleep(wait);
            seen.push_back(name + " ends " + std::to_string(time.NowMs()));
        };
    };
    time.At(0, [&] {
        time.Spawn(reader("a", 100));
        time.Spawn(reader("b", 100));
    });
    time.At(150, [&] {
        seen.push_back("action " + std::to_string(time.NowMs()));
        time.Spawn(reader("c", 30));
    });
    time.Run();
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "a starts 0", "b starts 0", "a wakes 100", "b wakes 100", "action 150",
                        "c starts 150", "c wakes 180", "a ends 200", "b ends 200", "c ends 210"}));
    EXPECT_EQ(time.NowMs(), 210u);
    const LocalTime end = time.Local();
    EXPECT_EQ(end.second, 0);
    EXPECT_EQ(end.milliseconds, 210);
}

TEST(VirtualTime, ActionsSetByRunsAndForThePastComeInTurn) {
    VirtualTime time(kStart, false);
    std::vector<std::string> seen;
    time.At(50, [&] {
        time.Spawn([&] {
            time.Sleep(10);
            // A run sets an action for later; one for the past falls due now.
            time.At(100, [&] { seen.push_back("later " + std::to_string(time.NowMs())); });
            time.At(0, [&] { seen.push_back("now " + std::to_string(time.NowMs())); });
            seen.push_back("run " + std::to_string(time.NowMs()));
        });
    });
    time.Run();
    EXPECT_EQ(seen, (std::vector<std::string>{"run 60", "now 60", "later 100"}));
}

}  // namespace
}  // namespace usbisp::station
