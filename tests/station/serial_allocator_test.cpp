// The station's serial numbers: reserved and saved before they are stamped,
// never given twice, squared with the production log after a crash.
#include "station/serial_allocator.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "firmware/serial_file.h"
#include "platform/sim/bench.h"
#include "station/log_lines.h"
#include "station/session_view.h"
#include "station/station.h"
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
        const TakenNumber taken = allocator.Take(files, messages, false);
        if (!taken.taken) return -1;
        EXPECT_TRUE(taken.reserved);
        return static_cast<long>(taken.counter.CNT);
    }
};

TEST_F(Allocation, TheAdvancedCounterIsSavedBeforeTheNumberIsGiven) {
    OpenLog();
    dir.Write("SERIAL.TXT", "0x57 0x01 0x0123");
    SerialAllocator allocator(log, time);
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
    SerialAllocator allocator(log, time);
    const TakenNumber taken = allocator.Take(files, messages, true);
    ASSERT_TRUE(taken.taken);
    EXPECT_FALSE(taken.reserved);
    EXPECT_EQ(taken.counter.CNT, 0x123u);
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x01 0x0123");
}

TEST_F(Allocation, RefusalsSayWhyAsTheMainWindowDoes) {
    OpenLog();
    SerialAllocator allocator(log, time);
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
    SerialAllocator last(fullLog, time);
    TakenNumber taken = last.Take(fullFiles, messages, false);
    EXPECT_TRUE(taken.taken);
    EXPECT_EQ(taken.counter.CNT, 0xfffeu);
    statusText.clear();
    taken = last.Take(fullFiles, messages, false);
    EXPECT_FALSE(taken.taken);
    EXPECT_FALSE(taken.reserved);
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
    SerialAllocator allocator(log, time);
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
    SerialAllocator again(log, time);
    ASSERT_TRUE(again.Load(files, messages));
    EXPECT_EQ(again.voidedAtLoad(), 1);  // 21: its reader never wrote a line
}

TEST_F(Allocation, ANewPcStartsAfreshWithoutVoids) {
    dir.Write("PRODUCTION.LOG", R"({"event":"counter","time":"t","pc":1,"cnt":16})"
                                "\n");
    dir.Write("SERIAL.TXT", "0x57 0x2 0x0 ");
    OpenLog();
    SerialAllocator allocator(log, time);
    ASSERT_TRUE(allocator.Load(files, messages));
    EXPECT_EQ(allocator.voidedAtLoad(), 0);
}

TEST_F(Allocation, ReadersTakingAtOnceGetDistinctNumbers) {
    OpenLog();
    dir.Write("SERIAL.TXT", "0x57 0x01 0x0000");
    SerialAllocator allocator(log, time);
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
                const TakenNumber number = allocator.Take(own, own_messages, false);
                taken[t].push_back(number.taken ? static_cast<long>(number.counter.CNT) : -1);
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

namespace usbisp::station {
namespace {

constexpr const char* kT = R"("time":"2003-11-18T09:30:00.000")";

// The first read squared with the log's lines of the file's PC: what it
// appends, how many numbers it voids, and when it refuses the file.
TEST_F(Allocation, SquaringPerPcAtTheFirstRead) {
    struct Case {
        const char* what;
        const char* before;  // the log the station finds
        const char* serial;
        bool takeBackwards;
        const char* refusal;  // empty: loaded
        std::vector<std::string> appended;
        int voided;
    };
    const std::string c1 = R"({"event":"counter","time":"t","pc":1,"cnt":16})"
                           "\n";
    const std::string r16 = R"({"event":"reader","pc":1,"cnt":16,"result":"programmed"})"
                            "\n";
    const std::string end17 = R"({"event":"counter","time":"t","pc":1,"cnt":17,"end":true})"
                              "\n";
    const std::string c2 = R"({"event":"counter","time":"t","pc":2,"cnt":5})"
                           "\n";
    const std::string counter25 =
        std::string(R"({"event":"counter",)") + kT + R"(,"pc":1,"cnt":25})";
    const Case cases[] = {
        {"another PC's counter line after this PC's does not hide its lost numbers",
         "",
         "0x57 0x1 0x13 ",
         false,
         "",
         {std::string(R"({"event":"void",)") + kT +
              R"(,"pc":1,"cnt":17,"reason":"given out before the station stopped; its reader has no line"})",
          std::string(R"({"event":"void",)") + kT +
              R"(,"pc":1,"cnt":18,"reason":"given out before the station stopped; its reader has no line"})",
          std::string(R"({"event":"counter",)") + kT + R"(,"pc":1,"cnt":19})"},
         2},
        {"after a clean end a counter moved forward is one skipped range",
         "end",
         "0x57 0x1 0x19 ",
         false,
         "",
         {std::string(R"({"event":"skip",)") + kT +
              R"(,"pc":1,"cnt":17,"last":24,"reason":"SERIAL.TXT was moved forward while no station ran"})",
          counter25},
         0},
        {"after a clean end the same counter goes on",
         "end",
         "0x57 0x1 0x11 ",
         false,
         "",
         {std::string(R"({"event":"counter",)") + kT + R"(,"pc":1,"cnt":17})"},
         0},
        {"a counter the log accounts for already is refused",
         "end",
         "0x57 0x1 0x10 ",
         false,
         "Error!!! SERIAL.TXT gives PC 0x01 CNT 0x0010, but the production log accounts for "
         "CNT 0x0010 already",
         {},
         0},
        {"below the last counter line too",
         "",
         "0x57 0x1 0x0f ",
         false,
         "Error!!! SERIAL.TXT gives PC 0x01 CNT 0x000f, but the production log accounts for "
         "CNT 0x0010 already",
         {},
         0},
        {"taken anyway, the decision is logged",
         "end",
         "0x57 0x1 0x10 ",
         true,
         "",
         {std::string(R"({"event":"backwards",)") + kT +
              R"(,"pc":1,"cnt":16,"highest":16,"reason":"taken with --take-counter: numbers up to highest may be given again"})",
          std::string(R"({"event":"counter",)") + kT + R"(,"pc":1,"cnt":16})"},
         0},
        {"another PC's numbers do not hold this one back",
         "",
         "0x57 0x2 0x5 ",
         false,
         "",
         {std::string(R"({"event":"counter",)") + kT + R"(,"pc":2,"cnt":5})"},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir own;
        // 0x10 given, then another PC's counter line; "end": a clean end
        // at 0x11.
        own.Write("PRODUCTION.LOG", c1 + r16 + (std::string(c.before) == "end" ? end17 : "") + c2);
        own.Write("SERIAL.TXT", c.serial);
        ProductionLog ownLog;
        std::string error;
        ASSERT_TRUE(ownLog.Open(own.path() + "/PRODUCTION.LOG", error)) << error;
        const std::size_t before = ownLog.ReadLines().size();
        sim::Bench ownFiles{sim::BenchConfig{}, own.path(), {}, false};
        SerialAllocator allocator(ownLog, time, c.takeBackwards);
        statusText.clear();
        EXPECT_EQ(allocator.Load(ownFiles, messages), std::string(c.refusal).empty());
        EXPECT_EQ(allocator.halted(), c.refusal);
        if (*c.refusal) {
            EXPECT_EQ(statusText, std::string("\n") + c.refusal);
        }
        const std::vector<std::string> lines = ownLog.ReadLines();
        EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()),
                  c.appended);
        EXPECT_EQ(allocator.voidedAtLoad(), c.voided);
        // A refused counter gives nothing, and the file stays as it was.
        if (*c.refusal) {
            EXPECT_FALSE(allocator.Take(ownFiles, messages, false).taken);
            EXPECT_EQ(own.Read("SERIAL.TXT"), c.serial);
        }
    }
}

TEST_F(Allocation, TheCleanEndLeavesAFinalCounterLine) {
    OpenLog();
    dir.Write("SERIAL.TXT", "0x57 0x01 0x0123");
    {
        SerialAllocator allocator(log, time);
        EXPECT_EQ(TakeOne(allocator), 0x123);
        allocator.End();
    }
    EXPECT_EQ(log.ReadLines().back(),
              std::string(R"({"event":"counter",)") + kT + R"(,"pc":1,"cnt":292,"end":true})");
    // The restart finds nothing to void.
    SerialAllocator again(log, time);
    ASSERT_TRUE(again.Load(files, messages));
    EXPECT_EQ(again.voidedAtLoad(), 0);
}

// Between two reservations SERIAL.TXT must hold what the station wrote:
// anything else halts the allocator, whatever the change.
TEST_F(Allocation, AFileNotAsWrittenHaltsTheAllocator) {
    struct Case {
        const char* what;
        const char* written;  // by another hand, after the first number
        const char* halt;
    };
    const Case cases[] = {
        {"restored from a backup", "0x57 0x01 0x0123",
         R"(Error!!! SERIAL.TXT was changed while the station ran: it holds "0x57 0x01 0x0123", )"
         R"(the station wrote "0x57 0x1 0x124 ")"},
        {"moved forward by hand", "0x57 0x1 0x200 ",
         R"(Error!!! SERIAL.TXT was changed while the station ran: it holds "0x57 0x1 0x200 ", )"
         R"(the station wrote "0x57 0x1 0x124 ")"},
        {"removed", nullptr, "Error!!! SERIAL.TXT cannot be read any more"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir own;
        own.Write("SERIAL.TXT", "0x57 0x01 0x0123");
        ProductionLog ownLog;
        std::string error;
        ASSERT_TRUE(ownLog.Open(own.path() + "/PRODUCTION.LOG", error)) << error;
        sim::Bench ownFiles{sim::BenchConfig{}, own.path(), {}, false};
        SerialAllocator allocator(ownLog, time);
        ASSERT_TRUE(allocator.Take(ownFiles, messages, false).taken);
        if (c.written) {
            own.Write("SERIAL.TXT", c.written);
        } else {
            std::remove((own.path() + "/SERIAL.TXT").c_str());
        }
        statusText.clear();
        EXPECT_FALSE(allocator.Take(ownFiles, messages, false).taken);
        EXPECT_EQ(allocator.halted(), c.halt);
        EXPECT_EQ(statusText, std::string("\n") + c.halt);
        // Put right again, it stays halted: the operator restarts it.
        own.Write("SERIAL.TXT", "0x57 0x1 0x124 ");
        EXPECT_FALSE(allocator.Take(ownFiles, messages, false).taken);
        EXPECT_EQ(own.Read("SERIAL.TXT"), "0x57 0x1 0x124 ");
    }
}

TEST_F(Allocation, OneTakerPerDirectory) {
    OpenLog();
    dir.Write("SERIAL.TXT", "0x57 0x01 0x0123");
    auto first = std::make_unique<SerialAllocator>(log, time);
    ASSERT_TRUE(first->Claim(files, messages));
    SerialAllocator second(log, time);
    EXPECT_FALSE(second.Claim(files, messages));
    EXPECT_EQ(statusText, "\nError!!! Serial.txt cannot be taken: held by usbisp --station, log " +
                              dir.path() + "/PRODUCTION.LOG, process " +
                              std::to_string(::getpid()) + " !!!");
    // The main window's run is refused the same way.
    statusText.clear();
    EXPECT_EQ(LockSerialCounter(files, messages, "UsbIsp main window"), nullptr);
    EXPECT_NE(statusText.find("held by usbisp --station"), std::string::npos) << statusText;
    // The lock goes with its holder.
    first.reset();
    EXPECT_TRUE(second.Claim(files, messages));
}

// SERIAL.TXT readable only after the start: the voids of that later load
// are in the station's totals too.
TEST_F(Allocation, VoidsOfALaterLoadAreInTheStationsTotals) {
    OpenLog();
    SerialAllocator allocator(log, time);
    Station station(StationSetup{time, log, &allocator, {}, {}, {}, {}});
    ASSERT_TRUE(station.Start(files));
    ASSERT_FALSE(allocator.loaded());
    log.Append(R"({"event":"counter","time":"t","pc":1,"cnt":16})");
    dir.Write("SERIAL.TXT", "0x57 0x1 0x13 ");
    EXPECT_EQ(TakeOne(allocator), 0x13);
    EXPECT_EQ(station.Finish().voided, 3);
    EXPECT_EQ(log.ReadLines().back(),
              std::string(R"({"event":"summary",)") + kT +
                  R"(,"programmed":0,"verified":0,"failed":0,"void":3,"readersPerHour":0})");
}

// A save reported failed (its rename failed) that the next read finishes:
// the number below it was given to no reader and is voided, not given again.
TEST_F(Allocation, ASaveThatLandsAfterItsFailureVoidsItsNumber) {
    OpenLog();
    dir.Write("SERIAL.TXT", "0x57 0x01 0x0123");
    SerialAllocator allocator(log, time);
    files.SetFileFaults({"rename:SERIAL.NEW"});
    EXPECT_EQ(TakeOne(allocator), -1);
    EXPECT_EQ(view.boxes(),
              std::vector<std::string>{"nError!!! Cannot save [SERIAL.TXT], program terminate"});
    files.SetFileFaults({});
    EXPECT_EQ(TakeOne(allocator), 0x124);
    EXPECT_EQ(allocator.voidedAtLoad(), 1);
    const std::vector<std::string> lines = log.ReadLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.back(), std::string(R"({"event":"void",)") + kT +
                                R"(,"pc":1,"cnt":291,"reason":"SERIAL.TXT was saved although its )"
                                R"(save was reported failed; no reader got it"})");
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x1 0x125 ");
}

}  // namespace
}  // namespace usbisp::station
