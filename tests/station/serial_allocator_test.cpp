// The station's serial numbers: reserved and saved before they are stamped,
// never given twice, squared with the production log after a crash.
#include "station/serial_allocator.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "platform/sim/bench.h"
#include "station/log_lines.h"
#include "station/session_view.h"
#include "support/test_support.h"

namespace usbisp::station {
namespace {

class FixedTime : public StationTime {
  public:
    std::uint64_t NowMs() override { return 0; }
    LocalTime Local() override { return LocalTime{2003, 11, 2, 18, 9, 30, 0, 0}; }
    void Sleep(std::uint32_t) override {}
};

struct Allocation : ::testing::Test {
    test::TempDir dir;
    FixedTime time;
    ProductionLog log;
    sim::Bench files{sim::BenchConfig{}, dir.path(), {}, false};
    SessionView view{{}, {}};
    std::string statusText;
    OperatorMessages messages{view, statusText};

    void OpenLog() {
        std::string error;
        ASSERT_TRUE(log.Open(dir.path() + "/PRODUCTION.LOG", error)) << error;
    }
    // Takes one number; the counter value given, or -1 when refused.
    long TakeOne(SerialAllocator& allocator) {
        SerialCounter counter;
        bool reserved = false;
        if (!allocator.Take(files, messages, false, counter, reserved)) return -1;
        EXPECT_TRUE(reserved);
        return static_cast<long>(counter.CNT);
    }
};

TEST_F(Allocation, TheAdvancedCounterIsSavedBeforeTheNumberIsGiven) {
    OpenLog();
    dir.Write("SERIAL.TXT", "0x57 0x01 0x0123");
    SerialAllocator allocator(log, time, dir.path());
    EXPECT_EQ(TakeOne(allocator), 0x123);
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x1 0x124 ");
    EXPECT_EQ(TakeOne(allocator), 0x124);
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x1 0x125 ");
    // The log marks where this run began giving numbers.
    EXPECT_EQ(log.ReadLines(),
              std::vector<std::string>{
                  R"({"event":"counter","time":"2003-11-18T09:30:00.000","pc":1,"cnt":291})"});
}

TEST_F(Allocation, AUserSerialReservesNothing) {
    OpenLog();
    dir.Write("SERIAL.TXT", "0x57 0x01 0x0123");
    SerialAllocator allocator(log, time, dir.path());
    SerialCounter counter;
    bool reserved = true;
    ASSERT_TRUE(allocator.Take(files, messages, true, counter, reserved));
    EXPECT_FALSE(reserved);
    EXPECT_EQ(counter.CNT, 0x123u);
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x01 0x0123");
}

TEST_F(Allocation, RefusalsSayWhyAsTheMainWindowDoes) {
    OpenLog();
    SerialAllocator allocator(log, time, dir.path());
    EXPECT_EQ(TakeOne(allocator), -1);
    EXPECT_EQ(statusText, "\nError!!!  Can Not Open Serial.txt !!!");
    // Once the file is there the next reader gets its number.
    dir.Write("SERIAL.TXT", "0x57 0x02 0x0007");
    EXPECT_EQ(TakeOne(allocator), 7);

    // The last number of the counter is not given: past it the counter would
    // start again at numbers given already.
    test::TempDir full;
    full.Write("SERIAL.TXT", "0x57 0x02 0xfffe");
    sim::Bench fullFiles{sim::BenchConfig{}, full.path(), {}, false};
    ProductionLog fullLog;
    std::string error;
    ASSERT_TRUE(fullLog.Open(full.path() + "/PRODUCTION.LOG", error)) << error;
    SerialAllocator last(fullLog, time, full.path());
    SerialCounter counter;
    bool reserved = false;
    EXPECT_TRUE(last.Take(fullFiles, messages, false, counter, reserved));
    EXPECT_EQ(counter.CNT, 0xfffeu);
    statusText.clear();
    EXPECT_FALSE(last.Take(fullFiles, messages, false, counter, reserved));
    EXPECT_FALSE(reserved);
    EXPECT_EQ(statusText,
              "\nError!!! No serial number left: CNT is 0xffff, give SERIAL.TXT a new PC");
    EXPECT_EQ(full.Read("SERIAL.TXT"), "0x57 0x2 0xffff ");
}

TEST_F(Allocation, NumbersGivenBeforeACrashWithoutAReaderLineAreVoided) {
    // The last run started at 0x10; 0x10 and 0x12 have reader lines, 0x11
    // was voided by its reader, 0x13 was given when the station died; another
    // PC's lines and a line cut short do not count.
    dir.Write("PRODUCTION.LOG",
              R"({"event":"counter","time":"t","pc":1,"cnt":4})"
              "\n"
              R"({"event":"counter","time":"t","pc":1,"cnt":16})"
              "\n"
              R"({"event":"reader","pc":1,"cnt":16,"result":"programmed"})"
              "\n"
              R"({"event":"reader","pc":1,"cnt":17,"result":"failed","void":true})"
              "\n"
              R"({"event":"reader","pc":2,"cnt":19,"result":"programmed"})"
              "\n"
              R"({"event":"reader","pc":1,"cnt":18,"result":"programmed"})"
              "\n"
              R"({"event":"reader","pc":1,"cnt":19,"res)");
    dir.Write("SERIAL.TXT", "0x57 0x1 0x15 ");
    OpenLog();
    SerialAllocator allocator(log, time, dir.path());
    ASSERT_TRUE(allocator.Load(files, messages));
    EXPECT_EQ(allocator.voidedAtLoad(), 2);
    const std::vector<std::string> lines = log.ReadLines();
    ASSERT_EQ(lines.size(), 10u);
    // The line cut short was ended before anything was appended.
    EXPECT_EQ(lines[6], R"({"event":"reader","pc":1,"cnt":19,"res)");
    EXPECT_EQ(lines[7],
              R"({"event":"void","time":"2003-11-18T09:30:00.000","pc":1,"cnt":19,)"
              R"("reason":"given out before the station stopped; its reader has no line"})");
    EXPECT_EQ(lines[8],
              R"({"event":"void","time":"2003-11-18T09:30:00.000","pc":1,"cnt":20,)"
              R"("reason":"given out before the station stopped; its reader has no line"})");
    EXPECT_EQ(lines[9], R"({"event":"counter","time":"2003-11-18T09:30:00.000","pc":1,"cnt":21})");
    EXPECT_EQ(TakeOne(allocator), 21);
    // A second start finds everything accounted for.
    SerialAllocator again(log, time, dir.path());
    ASSERT_TRUE(again.Load(files, messages));
    EXPECT_EQ(again.voidedAtLoad(), 1);  // 21: its reader never wrote a line
}

TEST_F(Allocation, ANewPcStartsAfreshWithoutVoids) {
    dir.Write("PRODUCTION.LOG", R"({"event":"counter","time":"t","pc":1,"cnt":16})"
                                "\n");
    dir.Write("SERIAL.TXT", "0x57 0x2 0x0 ");
    OpenLog();
    SerialAllocator allocator(log, time, dir.path());
    ASSERT_TRUE(allocator.Load(files, messages));
    EXPECT_EQ(allocator.voidedAtLoad(), 0);
}

TEST_F(Allocation, ReadersTakingAtOnceGetDistinctNumbers) {
    OpenLog();
    dir.Write("SERIAL.TXT", "0x57 0x01 0x0000");
    SerialAllocator allocator(log, time, dir.path());
    constexpr int kThreads = 8;
    constexpr int kEach = 25;
    std::vector<std::vector<long>> taken(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            // Each reader's run has a machine of its own, on the station's
            // clock.
            sim::BenchConfig machine;
            machine.clock = time.Local();
            sim::Bench own{machine, dir.path(), {}, false};
            SessionView quiet{{}, {}};
            std::string text;
            OperatorMessages own_messages{quiet, text};
            for (int i = 0; i < kEach; ++i) {
                SerialCounter counter;
                bool reserved = false;
                taken[t].push_back(allocator.Take(own, own_messages, false, counter, reserved)
                                       ? static_cast<long>(counter.CNT)
                                       : -1);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    std::set<long> all;
    for (const auto& list : taken) all.insert(list.begin(), list.end());
    EXPECT_EQ(all.size(), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_EQ(*all.begin(), 0);
    EXPECT_EQ(*all.rbegin(), kThreads * kEach - 1);
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x1 0xc8 ");
}

}  // namespace
}  // namespace usbisp::station
