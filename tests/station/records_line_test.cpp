// Stations of a line on one PostgreSQL server of the test's own, each a
// usbisp --station process with --records: several at once with distinct
// PCs, one whose PC is taken, and one whose connection is cut and whose
// server restarts while it runs. Across them no serial number is on two
// readers, every reserved number ends programmed or void, and a reader that
// found the database away had nothing stamped.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "station/exit_status.h"
#include "station/records_numbers.h"
#include "station/records_store.h"
#include "support/pg_server.h"
#include "support/test_support.h"

extern char** environ;

namespace usbisp::station {
namespace {

using Json = nlohmann::json;

// Every fifth reader fails its compare after its number was stamped.
std::string Bench(int ports, int readers, bool realtime) {
    return std::string(R"({"windows": "xp", "clock": "2003-11-18T09:30:00", "realtime": )") +
           (realtime ? "true" : "false") + R"(,
  "readers": [
    {"inquiry": {"vendor": "Generic", "product": "Flash Reader"}, "hardwareRevision": "73 11 00"},
    {"inquiry": {"vendor": "Generic", "product": "Flash Reader"}, "hardwareRevision": "73 11 00",
     "answers": {"IspVerify": ["33", "33", "33"]}}],
  "station": {"ports": )" +
           std::to_string(ports) + R"(, "handling": 200, "line": {"readers": )" +
           std::to_string(readers) + R"(, "kinds": [1, 1, 1, 1, 2]}}})";
}

void MakeStationDir(const test::TempDir& dir, int pc, const std::string& bench) {
    dir.Write("BENCH.JSON", bench);
    dir.Write("DEVICE.TXT",
              "FA_Inquiry_Manufacture = \"Generic\";\nFA_Inquiry_Product = \"Flash Reader\";\n"
              "ISP_ROMCODE = \"ROM.BIN\";\n");
    char serial[32];
    std::snprintf(serial, sizeof serial, "0x57 0x%02x 0x0100", pc);
    dir.Write("SERIAL.TXT", serial);
    std::string image(4096, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 13 + 7);
    image[0] = 5;  // type 5, marker 0xFE: a 7311 takes it
    image[1] = static_cast<char>(0xFE);
    dir.Write("ROM.BIN", image);
    dir.Write("ROM.adr", std::string("\x00\x01\x00\x00\x06\x00\x00\x00\x0d\x00\x00\x00", 12));
}

// usbisp with these arguments, its standard output into `out`.
pid_t Start(std::vector<std::string> args, const std::string& out) {
    args.insert(args.begin(), USBISP_BINARY);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int status = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(status, 0);
    return pid;
}

int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

pid_t StartStation(const test::TempDir& dir, const std::string& url) {
    return Start({"--station", "--headless", "--bench", dir.path() + "/BENCH.JSON", "--dir",
                  dir.path(), "--records", url},
                 dir.path() + "/transcript.txt");
}

struct LogCounts {
    int programmed = 0;
    int failed = 0;
    int away = 0;                      // readers that found the database away
    std::vector<std::string> serials;  // of the programmed readers
};

// The reader lines of a station's log; a reader that found the database
// away must have no number.
LogCounts ReadLog(const test::TempDir& dir) {
    LogCounts counts;
    for (const std::string& text : test::Lines(dir.Read("PRODUCTION.LOG"))) {
        const Json line = Json::parse(text, nullptr, false);
        EXPECT_TRUE(line.is_object()) << text;
        if (!line.is_object() || line.value("event", "") != "reader") continue;
        const std::string result = line.value("result", "");
        counts.programmed += result == "programmed";
        if (result == "programmed") counts.serials.push_back(line.value("serial", ""));
        counts.failed += result == "failed";
        if (line.value("step", "") == kDatabaseAway) {
            ++counts.away;
            EXPECT_FALSE(line.contains("cnt")) << "stamped while the database was away: " << text;
        }
    }
    return counts;
}

class RecordsLine : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server_.Start(error)) << error;
        url_ = server_.NewDatabase("line", error);
        ASSERT_FALSE(url_.empty()) << error;
        test::TempDir scratch;
        ASSERT_EQ(Wait(Start({"--records", url_, "--init"}, scratch.path() + "/out")), 0);
        ASSERT_TRUE(admin_.Connect(url_, error)) << error;
    }

    long Count(const std::string& sql) {
        DbResult r = admin_.Exec(sql);
        EXPECT_TRUE(r.ok) << r.error;
        return r.ok && r.rows.size() == 1 && r.rows[0][0] ? std::stol(*r.rows[0][0]) : -1;
    }

    // What holds for every run: no number on two readers, none left open.
    void CheckAccounted() {
        EXPECT_EQ(
            Count("SELECT count(*) FROM (SELECT serial FROM usbisp_reader WHERE serial IS "
                  "NOT NULL AND result = 'programmed' GROUP BY serial HAVING count(*) > 1) d"),
            0);
        EXPECT_EQ(Count("SELECT count(*) FROM usbisp_reservation WHERE state = 'reserved'"), 0);
        // Each programmed reader closed exactly its own reservation.
        EXPECT_EQ(Count("SELECT count(*) FROM usbisp_reader WHERE result = 'programmed' AND cnt "
                        "IS NOT NULL"),
                  Count("SELECT count(*) FROM usbisp_reservation WHERE state = 'programmed'"));
    }

    test::PgServer server_;
    std::string url_;
    DbLink admin_;
};

TEST_F(RecordsLine, ThreeStationsAtOnceAndOneWhosePcIsTaken) {
    // The test holds PC 4 as a station of its own would.
    DbLink holder;
    std::string error, why;
    ASSERT_TRUE(holder.Connect(url_, error)) << error;
    std::uint32_t cnt = 0;
    ASSERT_EQ(TakePc(holder, "hall-4", 0x04, 0, cnt, why), PcTaken::Taken) << why;

    constexpr int kReaders = 60;
    test::TempDir dirs[4];
    std::vector<pid_t> stations;
    for (int i = 0; i < 4; ++i) {
        MakeStationDir(dirs[i], i + 1, Bench(8, kReaders, false));
        stations.push_back(StartStation(dirs[i], url_));
    }
    // Every station has readers that failed; the fourth refused to start.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Wait(stations[static_cast<std::size_t>(i)]),
                  i < 3 ? kExitReadersFailed : kExitRefused);

    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE("station " + std::to_string(i + 1));
        const LogCounts counts = ReadLog(dirs[i]);
        EXPECT_EQ(counts.programmed, kReaders * 4 / 5);
        EXPECT_EQ(counts.failed, kReaders / 5);
        // SERIAL.TXT follows the database's counter.
        char expected[32];
        std::snprintf(expected, sizeof expected, "0x57 0x%x 0x%x ", i + 1, 0x100 + kReaders);
        EXPECT_EQ(dirs[i].Read("SERIAL.TXT"), expected);
    }
    EXPECT_EQ(Count("SELECT count(*) FROM usbisp_reservation"), 3 * kReaders);
    EXPECT_EQ(Count("SELECT count(DISTINCT station) FROM usbisp_reader"), 3);

    // The fourth refused to start: its PC's holder is named, no reader taken.
    const std::string refused = dirs[3].Read("transcript.txt");
    EXPECT_NE(refused.find("Error!!! PC 0x04 is taken by station \\\"hall-4\\\" (since "),
              std::string::npos)
        << refused;
    const LogCounts fourth = ReadLog(dirs[3]);
    EXPECT_EQ(fourth.programmed, 0);
    EXPECT_EQ(fourth.failed, 0);
    EXPECT_EQ(Count("SELECT count(*) FROM usbisp_reservation WHERE pc = 4"), 0);
    CheckAccounted();

    // The report from the database has a row per station and the line's
    // total; the log's report of a station counts as the database does.
    test::TempDir out;
    ASSERT_EQ(Wait(Start({"--records", url_, "--report"}, out.path() + "/db.txt")), 0);
    const auto rows = test::Lines(out.Read("db.txt"));
    // (The fourth, which never held its PC, wrote nothing there.)
    ASSERT_EQ(rows.size(), 1u + 3 + 1) << out.Read("db.txt");
    EXPECT_NE(rows.back().find("  line"), std::string::npos);
    ASSERT_EQ(
        Wait(Start({"--report", dirs[0].path() + "/PRODUCTION.LOG"}, out.path() + "/log.txt")), 0);
    const auto fromLog = test::Lines(out.Read("log.txt"));
    ASSERT_EQ(fromLog.size(), 3u) << out.Read("log.txt");
    const std::string name = ":" + dirs[0].path();
    int same = 0;
    for (const std::string& row : rows) {
        if (row.size() <= name.size() || row.compare(row.size() - name.size(), name.size(), name))
            continue;
        EXPECT_EQ(fromLog[1].substr(0, 57), row.substr(0, 57));
        ++same;
    }
    EXPECT_EQ(same, 1) << out.Read("db.txt");

    // The records: where each serial number went, a day on (none) or from it.
    ASSERT_EQ(Wait(Start({"--records", url_, "--report", "--since", "2003-11-19", "--csv"},
                         out.path() + "/later.csv")),
              0);
    EXPECT_EQ(out.Read("later.csv"),
              "time,station,port,reader,pc,cnt,serial,result,void,step,durationMs\n");
    ASSERT_EQ(Wait(Start({"--records", url_, "--report", "--since", "2003-11-18", "--csv"},
                         out.path() + "/all.csv")),
              0);
    const auto records = test::Lines(out.Read("all.csv"));
    EXPECT_EQ(records.size(), 1u + 3 * kReaders);
    int found = 0;
    for (const std::string& record : records)
        found += record.find(",2,256,573B12020100,programmed,no,,") != std::string::npos;
    EXPECT_EQ(found, 1) << "serial 573B12020100 (PC 2, CNT 0x100) is not there once";
}

TEST_F(RecordsLine, ACutConnectionAndARestartStampNothingAndTheStationGoesOn) {
    test::TempDir dir;
    MakeStationDir(dir, 0x09, Bench(4, 100, true));
    const pid_t station = StartStation(dir, url_);
    const auto cutStationConnections = [&] {
        EXPECT_GT(Count("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE "
                        "application_name = 'usbisp station' AND pid <> pg_backend_pid()"),
                  0);
    };
    std::this_thread::sleep_for(std::chrono::seconds(3));
    cutStationConnections();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    cutStationConnections();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::string error;
    ASSERT_TRUE(server_.Restart(error)) << error;
    ASSERT_TRUE(admin_.Reconnect(error)) << error;
    EXPECT_EQ(Wait(station), kExitReadersFailed);

    const LogCounts counts = ReadLog(dir);
    EXPECT_GT(counts.away, 0) << "no reader found the database away";
    // It went on after each loss: readers programmed after the last one.
    EXPECT_GT(Count("SELECT count(*) FROM usbisp_reader WHERE result = 'programmed'"), 0);
    EXPECT_EQ(counts.programmed,
              Count("SELECT count(*) FROM usbisp_reader WHERE result = 'programmed'"));
    CheckAccounted();
    std::printf("100 readers: %d programmed, %d failed, %d of them with the database away\n",
                counts.programmed, counts.failed, counts.away);
}

// Three stations killed at random moments and started again, at once: across
// all their runs no number is on two readers, every number each PC's counter
// passed has its reservation, and once each has run to its end again every
// reservation is programmed or void.
TEST_F(RecordsLine, StationsKilledAndRestartedLoseNoNumber) {
    constexpr int kStations = 3;
    constexpr int kKills = 5;
    constexpr int kReaders = 100;
    test::TempDir dirs[kStations];
    for (int i = 0; i < kStations; ++i) MakeStationDir(dirs[i], i + 1, Bench(16, kReaders, false));
    const auto runAll = [&](long killAfterUs, std::mt19937* random) {
        std::vector<pid_t> pids;
        for (const test::TempDir& dir : dirs) pids.push_back(StartStation(dir, url_));
        if (random) {
            std::uniform_int_distribution<long> moment(0, killAfterUs);
            std::vector<long> moments;
            for (std::size_t i = 0; i < pids.size(); ++i) moments.push_back(moment(*random));
            long slept = 0;
            std::vector<std::size_t> order(pids.size());
            for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
            std::sort(order.begin(), order.end(),
                      [&](std::size_t a, std::size_t b) { return moments[a] < moments[b]; });
            for (std::size_t i : order) {
                std::this_thread::sleep_for(std::chrono::microseconds(moments[i] - slept));
                slept = moments[i];
                kill(pids[i], SIGKILL);
            }
        }
        int killed = 0;
        for (pid_t pid : pids) killed += Wait(pid) == -1;
        return killed;
    };
    const auto before = std::chrono::steady_clock::now();
    runAll(0, nullptr);
    const long runUs = static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                             std::chrono::steady_clock::now() - before)
                                             .count());
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    int killed = 0;
    for (int round = 0; round < kKills; ++round) killed += runAll(runUs * 3 / 4, &random);
    runAll(0, nullptr);  // to their ends: each voids what its kills left open

    // Each PC's counter moved only with a reservation.
    for (int pc = 1; pc <= kStations; ++pc) {
        SCOPED_TRACE("PC " + std::to_string(pc));
        const long counter =
            Count("SELECT cnt FROM usbisp_counter WHERE pc = " + std::to_string(pc));
        EXPECT_EQ(Count("SELECT count(*) FROM usbisp_reservation WHERE pc = " + std::to_string(pc)),
                  counter - 0x100);
    }
    CheckAccounted();
    // A programmed reader in a log is one the database holds. The database
    // may hold a few more: a station killed after its record was committed and
    // before its log line was written.
    long programmed = 0;
    for (const test::TempDir& dir : dirs) {
        const LogCounts counts = ReadLog(dir);
        programmed += counts.programmed;
        for (const std::string& serial : counts.serials)
            EXPECT_EQ(Count("SELECT count(*) FROM usbisp_reader WHERE result = 'programmed' AND "
                            "serial = '" +
                            serial + "'"),
                      1)
                << serial;
    }
    const long inDatabase = Count("SELECT count(*) FROM usbisp_reader WHERE result = 'programmed'");
    EXPECT_LE(programmed, inDatabase);
    EXPECT_LE(inDatabase - programmed, killed);
    EXPECT_GE(programmed, 2L * kStations * kReaders * 4 / 5) << "two whole runs of each station";
    std::printf("%d of %d runs killed; %ld programmed, %ld void\n", killed, kStations * kKills,
                programmed, Count("SELECT count(*) FROM usbisp_reservation WHERE state = 'void'"));
}

}  // namespace
}  // namespace usbisp::station
