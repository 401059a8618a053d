// The line's tables on a real PostgreSQL server of the test's own.
#include "station/records_store.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>

#include "platform/sim/bench.h"
#include "station/records_numbers.h"
#include "station/serial_allocator.h"
#include "station/session_view.h"
#include "support/pg_server.h"
#include "support/test_support.h"

namespace usbisp::station {
namespace {

// libpq's messages as one line of the station's: lines joined, the tab that
// indents a hint and trailing blanks gone, and the length bounded.
class NoonTime : public StationTime {
  public:
    std::uint64_t NowMs() override { return 0; }
    LocalTime Local() override { return LocalTime{2003, 11, 2, 18, 12, 0, 0, 0}; }
    void Sleep(std::uint32_t) override {}
};

// A station on the line's database keeps SERIAL.TXT in step, so it holds the
// directory as a station on SERIAL.TXT alone does: one taker of numbers,
// whichever the two kinds are. Taking the directory needs no server.
TEST(RecordsDirectory, OneTakerOfNumbersWhicheverTheKind) {
    test::TempDir dir;
    NoonTime time;
    ProductionLog log;
    std::string error;
    ASSERT_TRUE(log.Open(dir.path() + "/PRODUCTION.LOG", error)) << error;
    sim::Bench files{sim::BenchConfig{}, dir.path(), {}, false};
    SessionView view{{}, {}};
    std::string statusText;
    const OperatorMessages messages{view, statusText};
    const std::string pid = std::to_string(::getpid());

    auto line = std::make_unique<DbNumbers>(log, time, "host=/nowhere", "hall-1");
    ASSERT_TRUE(line->Claim(files, messages));
    SerialAllocator local(log, time);
    EXPECT_FALSE(local.Claim(files, messages));
    EXPECT_EQ(statusText,
              "\nError!!! Serial.txt cannot be taken: held by usbisp --station "
              "--records, log " +
                  dir.path() + "/PRODUCTION.LOG, process " + pid + " !!!");
    line.reset();
    ASSERT_TRUE(local.Claim(files, messages));
    statusText.clear();
    DbNumbers second(log, time, "host=/nowhere", "hall-2");
    EXPECT_FALSE(second.Claim(files, messages));
    EXPECT_EQ(statusText, "\nError!!! Serial.txt cannot be taken: held by usbisp --station, log " +
                              dir.path() + "/PRODUCTION.LOG, process " + pid + " !!!");
}

// With no server to reach, no number is given and the board is told so; a
// station that has not asked yet has nothing to say.
TEST(RecordsDirectory, ASourceWithoutItsServerSaysSoOnTheBoard) {
    test::TempDir dir;
    dir.Write("SERIAL.TXT", "0x57 0x1 0x123 ");
    NoonTime time;
    ProductionLog log;
    std::string error;
    ASSERT_TRUE(log.Open(dir.path() + "/PRODUCTION.LOG", error)) << error;
    sim::Bench files{sim::BenchConfig{}, dir.path(), {}, false};
    SessionView view{{}, {}};
    std::string statusText;
    const OperatorMessages messages{view, statusText};
    DbNumbers line(log, time, "host=/nowhere connect_timeout=1", "hall-1");
    EXPECT_EQ(line.state(), "");
    ASSERT_TRUE(line.Claim(files, messages));
    EXPECT_FALSE(line.Load(files, messages));
    EXPECT_EQ(line.state(),
              "the line's database cannot be reached: no number is given until it is back");
}

TEST(RecordsLink, MessagesOnOneLine) {
    struct Row {
        const char* message;
        std::string line;
    };
    const std::vector<Row> rows = {
        {"connection to server failed: No such file or directory\n\tIs the server running?\n",
         "connection to server failed: No such file or directory Is the server running?"},
        {"ERROR:  duplicate key\r\n", "ERROR: duplicate key"},
        {"", ""},
        {nullptr, ""},
    };
    for (const Row& row : rows) EXPECT_EQ(OneLine(row.message), row.line);
    EXPECT_EQ(OneLine(std::string(2 * kMaxValueBytes, 'x').c_str()).size(), kMaxValueBytes);
}

class RecordsStore : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server_.Start(error)) << error;
        url_ = server_.NewDatabase("line", error);
        ASSERT_FALSE(url_.empty()) << error;
    }

    // A connection on tables made by --init.
    void Open(DbLink& link) {
        std::string error;
        ASSERT_TRUE(link.Connect(url_, error)) << error;
        std::string said;
        ASSERT_TRUE(InitSchema(link, said)) << said;
    }

    std::optional<std::uint32_t> Next(DbLink& link, std::uint32_t pc, const std::string& port) {
        bool exhausted = false;
        std::string error;
        return Reserve(link, pc, {"A", port, 1, "2003-11-18T09:30:00.100"}, exhausted, error);
    }

    int Scalar(DbLink& link, const std::string& sql) {
        DbResult r = link.Exec(sql);
        EXPECT_TRUE(r.ok) << r.error;
        return r.ok && !r.rows.empty() && r.rows[0][0] ? std::stoi(*r.rows[0][0]) : -1;
    }

    test::PgServer server_;
    std::string url_;
};

TEST_F(RecordsStore, SchemaIsMadeOnceAndANewerOneIsLeftAlone) {
    DbLink link;
    std::string error;
    ASSERT_TRUE(link.Connect(url_, error)) << error;
    EXPECT_FALSE(CheckSchema(link, error));
    EXPECT_NE(error.find("--init"), std::string::npos) << error;

    std::string said;
    ASSERT_TRUE(InitSchema(link, said)) << said;
    EXPECT_EQ(said, "the line's tables made, version 1");
    ASSERT_TRUE(InitSchema(link, said)) << said;
    EXPECT_EQ(said, "the line's tables are there, version 1");
    EXPECT_TRUE(CheckSchema(link, error)) << error;

    ASSERT_TRUE(link.Exec("UPDATE usbisp_schema SET version = 2").ok);
    EXPECT_FALSE(InitSchema(link, said));
    EXPECT_EQ(said,
              "the line's tables are of version 2, newer than this program's 1: left as "
              "they are");
    EXPECT_FALSE(CheckSchema(link, error));
}

TEST_F(RecordsStore, APcHasOneHolderWhileItsConnectionLives) {
    DbLink first, second;
    Open(first);
    Open(second);
    std::uint32_t cnt = 0;
    std::string why;
    ASSERT_EQ(TakePc(first, "hall-1", 0x01, 0x0120, cnt, why), PcTaken::Taken) << why;
    EXPECT_EQ(cnt, 0x0120u);
    EXPECT_EQ(TakePc(second, "hall-2", 0x01, 0x0100, cnt, why), PcTaken::Held);
    EXPECT_EQ(why.rfind("PC 0x01 is taken by station \"hall-1\" (since ", 0), 0u) << why;
    ASSERT_EQ(TakePc(second, "hall-2", 0x02, 0, cnt, why), PcTaken::Taken) << why;

    // The holder's connection goes, and the lock with it.
    first.Exec("SELECT 1");
    std::string error;
    ASSERT_TRUE(first.Reconnect(error)) << error;
    ASSERT_EQ(TakePc(second, "hall-2", 0x01, 0x0100, cnt, why), PcTaken::Taken) << why;
    // SERIAL.TXT behind the database does not take the counter back...
    EXPECT_EQ(cnt, 0x0120u);
    // ...and one ahead of it (the main window went on) moves it forward.
    ASSERT_EQ(TakePc(first, "hall-1", 0x03, 0x0005, cnt, why), PcTaken::Taken) << why;
    ASSERT_TRUE(first.Reconnect(error)) << error;
    ASSERT_EQ(TakePc(first, "hall-1", 0x03, 0x0009, cnt, why), PcTaken::Taken) << why;
    EXPECT_EQ(cnt, 0x0009u);
}

TEST_F(RecordsStore, NumbersAreReservedOnceAndClosedByTheirRecord) {
    DbLink a, b;
    Open(a);
    Open(b);
    std::uint32_t cnt = 0;
    std::string why;
    ASSERT_EQ(TakePc(a, "A", 0x01, 0xfffd, cnt, why), PcTaken::Taken) << why;
    ASSERT_EQ(TakePc(b, "B", 0x02, 0x0000, cnt, why), PcTaken::Taken) << why;
    EXPECT_EQ(Next(a, 0x01, "1"), 0xfffdu);
    EXPECT_EQ(Next(b, 0x02, "1"), 0x0000u);
    EXPECT_EQ(Next(a, 0x01, "2"), 0xfffeu);
    EXPECT_EQ(Next(b, 0x02, "2"), 0x0001u);
    // 0xffff is where the counter stops: no number is left.
    bool exhausted = false;
    std::string error;
    EXPECT_FALSE(Reserve(a, 0x01, {"A", "3", 3, "2003-11-18T09:31:00.000"}, exhausted, error));
    EXPECT_TRUE(exhausted);

    ReaderRecord done;
    done.time = "2003-11-18T09:30:03.100";
    done.port = "1";
    done.reader = 1;
    done.serial = "573B1201FFFD";
    done.number = SerialCounter{0x57, 0x01, 0xfffd};
    done.result = ReaderResult::Programmed;
    ASSERT_TRUE(Record(a, "A", done, "{}", error)) << error;
    // The same number cannot be recorded twice.
    EXPECT_FALSE(Record(a, "A", done, "{}", error));
    EXPECT_EQ(error, "the reservation of 573B1201FFFD is no longer open");
    ReaderRecord failed = done;
    failed.number = SerialCounter{0x57, 0x02, 0x0000};
    failed.result = ReaderResult::Failed;
    failed.step = "Error!!! ISP Jump Fail !!!";
    ASSERT_TRUE(Record(b, "B", failed, "{}", error)) << error;
    ReaderRecord none;  // a reader that failed before it had a number
    none.time = done.time;
    none.port = "4";
    ASSERT_TRUE(Record(b, "B", none, "{}", error)) << error;

    // A restart voids what has no record, but for the readers still running.
    std::vector<std::uint32_t> voided;
    ASSERT_TRUE(VoidUnrecorded(a, 0x01, {}, voided, error)) << error;
    EXPECT_EQ(voided, std::vector<std::uint32_t>{0xfffe});
    ASSERT_TRUE(VoidUnrecorded(b, 0x02, {0x0001}, voided, error)) << error;
    EXPECT_TRUE(voided.empty());
    EXPECT_EQ(Scalar(a, "SELECT count(*) FROM usbisp_reservation WHERE state = 'void'"), 2);
    EXPECT_EQ(Scalar(a, "SELECT count(*) FROM usbisp_reservation WHERE state = 'programmed'"), 1);
    EXPECT_EQ(Scalar(a, "SELECT count(*) FROM usbisp_reader"), 3);
}

TEST_F(RecordsStore, ACutConnectionGivesNothingUntilItIsBack) {
    DbLink station, admin;
    Open(station);
    Open(admin);
    std::uint32_t cnt = 0;
    std::string why, error;
    ASSERT_EQ(TakePc(station, "A", 0x07, 0x0010, cnt, why), PcTaken::Taken) << why;
    EXPECT_EQ(Next(station, 0x07, "1"), 0x0010u);
    ASSERT_TRUE(admin
                    .Exec("SELECT pg_terminate_backend($1::integer)",
                          {std::to_string(station.BackendPid())})
                    .ok);
    bool exhausted = false;
    EXPECT_FALSE(
        Reserve(station, 0x07, {"A", "2", 2, "2003-11-18T09:30:00.000"}, exhausted, error));
    EXPECT_FALSE(exhausted);
    EXPECT_FALSE(station.Connected());
    ASSERT_TRUE(station.Reconnect(error)) << error;
    ASSERT_EQ(TakePc(station, "A", 0x07, 0x0000, cnt, why), PcTaken::Taken) << why;
    EXPECT_EQ(cnt, 0x0011u);
    EXPECT_EQ(Next(station, 0x07, "2"), 0x0011u);

    // The server restarted: the same again.
    ASSERT_TRUE(server_.Restart(error)) << error;
    EXPECT_FALSE(
        Reserve(station, 0x07, {"A", "3", 3, "2003-11-18T09:30:00.000"}, exhausted, error));
    ASSERT_TRUE(station.Reconnect(error)) << error;
    ASSERT_EQ(TakePc(station, "A", 0x07, 0x0000, cnt, why), PcTaken::Taken) << why;
    EXPECT_EQ(Next(station, 0x07, "3"), 0x0012u);
}

}  // namespace
}  // namespace usbisp::station
