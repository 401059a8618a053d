// The lines of the production log.
#include "station/log_lines.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "station/production_log.h"
#include "support/test_support.h"

namespace usbisp::station {
namespace {

ReaderRecord Programmed() {
    ReaderRecord r;
    r.time = "2003-11-18T09:30:00.100";
    r.port = "1-1.2";
    r.reader = 3;
    ReaderIdentity id;
    id.vid = 0x058f;
    id.pid = 0x6362;
    id.inquiryVendor = "Generic";
    id.inquiryProduct = "Flash \"Reader\"";
    id.inquiryRevision = "1.00";
    id.hardwareRevision = {0x76, 0x20, 0x43};
    id.firmwareRevision = {1, 2, 3, 3, 5, 0x14, 1, 2};
    r.identity = id;
    r.serial = "573B12010123";
    r.number = SerialCounter{0x57, 1, 0x123};
    r.image = "DEMO7620.BIN";
    r.imageCrc = 0x0a1b2c3d;
    r.result = ReaderResult::Programmed;
    r.durationMs = 3100;
    return r;
}

TEST(LogLines, AReaderOnOneLine) {
    EXPECT_EQ(ReaderLine(Programmed()),
              R"({"event":"reader","time":"2003-11-18T09:30:00.100","port":"1-1.2","reader":3,)"
              R"("vidPid":"058f:6362","inquiry":{"vendor":"Generic","product":"Flash \"Reader\"",)"
              R"("revision":"1.00"},"hardwareRevision":"762043","firmwareRevision":)"
              R"("0102030305140102","serial":"573B12010123","pc":1,"cnt":291,"image":)"
              R"("DEMO7620.BIN","crc32":"0a1b2c3d","result":"programmed","durationMs":3100})");
}

TEST(LogLines, AFailedReaderNamesItsStepAndVoidsItsNumber) {
    ReaderRecord r = Programmed();
    r.result = ReaderResult::Failed;
    r.step = "Error!!! ISP Data Verify Error, Program Fail!!!";
    EXPECT_EQ(ReaderLine(r).substr(ReaderLine(r).find("\"result\"")),
              R"("result":"failed","step":"Error!!! ISP Data Verify Error, Program Fail!!!",)"
              R"("void":true,"durationMs":3100})");
    // Before its identity was read: nothing but the port and the failure.
    ReaderRecord early;
    early.time = "t";
    early.port = "2";
    early.reader = 1;
    early.step = "ERROR: Device Not Ready when GET DEVICE VERSION!! \n  P/S: x\xff";
    EXPECT_EQ(ReaderLine(early),
              R"({"event":"reader","time":"t","port":"2","reader":1,"result":"failed",)"
              R"("step":"ERROR: Device Not Ready when GET DEVICE VERSION!! \n  P/S: x)"
              "\xEF\xBF\xBD"
              R"(",)"
              R"("durationMs":0})");
}

TEST(LogLines, TheSummary) {
    EXPECT_EQ(SummaryLine("t", RunCounts{5, 1, 2, 1, 900}),
              R"({"event":"summary","time":"t","programmed":5,"verified":1,"failed":2,"void":1,)"
              R"("readersPerHour":900})");
}

TEST(ProductionLog, AppendsWholeLinesAndMakesTheFile) {
    test::TempDir dir;
    ProductionLog log;
    std::string error;
    EXPECT_FALSE(log.Open(dir.path() + "/missing/PRODUCTION.LOG", error));
    EXPECT_EQ(error.substr(error.find(": cannot")),
              ": cannot open the production log: No such file or directory");
    ProductionLog good;
    ASSERT_TRUE(good.Open(dir.path() + "/PRODUCTION.LOG", error)) << error;
    EXPECT_TRUE(good.Append("{\"a\":1}"));
    EXPECT_TRUE(good.Append("{\"b\":2}"));
    EXPECT_EQ(dir.Read("PRODUCTION.LOG"), "{\"a\":1}\n{\"b\":2}\n");
}

// A disk that fills in the middle of a line: the write comes up short, and
// the fragment is cut off again, so that the next line stands whole. The
// file size limit plays the full disk, in a child of its own.
TEST(ProductionLog, AShortWriteIsCutBackToTheLastWholeLine) {
    test::TempDir dir;
    const std::string before = "{\"a\":1}\n";  // 8 bytes
    dir.Write("PRODUCTION.LOG", before);
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        ProductionLog log;
        std::string error;
        if (!log.Open(dir.path() + "/PRODUCTION.LOG", error)) _exit(2);
        const rlimit limit{20, 20};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
        // 8 + 19 bytes cross the limit: 12 of them would reach the file.
        if (log.Append("{\"long\":\"1234567\"}")) _exit(4);
        // 8 + 9 fit.
        if (!log.Append("{\"b\":22}")) _exit(5);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(dir.Read("PRODUCTION.LOG"), before + "{\"b\":22}\n");
}

TEST(LogLines, TheStationsOwnLines) {
    const std::string t = "2003-11-18T09:30:00.000";
    EXPECT_EQ(StartLine(t, "program"),
              R"({"event":"start","time":"2003-11-18T09:30:00.000","mode":"program"})");
    EXPECT_EQ(
        EndCounterLine(t, SerialCounter{0x57, 2, 0x300}),
        R"({"event":"counter","time":"2003-11-18T09:30:00.000","pc":2,"cnt":768,"end":true})");
    // An image that takes no serial number used one all the same.
    ReaderRecord plain = Programmed();
    plain.serial.clear();
    plain.stamped = false;
    const std::string line = ReaderLine(plain);
    EXPECT_NE(line.find(R"("pc":1,"cnt":291,"stamped":false,"image":"DEMO7620.BIN")"),
              std::string::npos)
        << line;
    EXPECT_EQ(line.find("serial"), std::string::npos) << line;
    EXPECT_EQ(SkipLine(t, 2, 0x10, 0x1f),
              R"({"event":"skip","time":"2003-11-18T09:30:00.000","pc":2,"cnt":16,"last":31,)"
              R"("reason":"SERIAL.TXT was moved forward while no station ran"})");
}

}  // namespace
}  // namespace usbisp::station
