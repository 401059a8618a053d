// The lines of the production log.
#include "station/log_lines.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace usbisp::station
