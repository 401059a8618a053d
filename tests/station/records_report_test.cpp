// The report from a production log: which lines count as what, the rows by
// day, PC and station, readers per hour, and the CSV of the records.
#include "station/records_report.h"

#include <gtest/gtest.h>

namespace usbisp::station {
namespace {

const std::vector<std::string> kLog = {
    R"({"event":"counter","time":"2003-11-18T09:00:00.000","pc":1,"cnt":288})",
    R"({"event":"reader","time":"2003-11-18T09:00:03.000","port":"1","reader":1,"serial":"573B12010120","pc":1,"cnt":288,"result":"programmed","durationMs":3000})",
    R"({"event":"reader","time":"2003-11-18T09:30:00.000","port":"2","reader":2,"serial":"573B12010121","pc":1,"cnt":289,"result":"failed","step":"Error!!! ISP Jump Fail !!!","void":true,"durationMs":1000})",
    R"({"event":"reader","time":"2003-11-18T10:00:00.000","port":"1","reader":3,"result":"failed","step":"No, \"card\"","durationMs":500})",
    R"({"event":"void","time":"2003-11-19T08:00:00.000","pc":1,"cnt":290,"reason":"..."})",
    R"({"event":"reader","time":"2003-11-19T08:00:05.000","port":"1","reader":1,"result":"verified","durationMs":5000})",
    R"({"event":"summary","time":"2003-11-19T09:00:00.000","programmed":1})",
    // Not counted: cut short, a number out of range, no time, a result unknown.
    R"({"event":"reader","time":"2003-11-18T09:0)",
    R"({"event":"reader","time":"2003-11-18T11:00:00.000","pc":256,"cnt":1,"result":"programmed","durationMs":1})",
    R"({"event":"reader","result":"programmed","durationMs":1})",
    R"({"event":"reader","time":"2003-11-18T11:00:00.000","result":"done","durationMs":1})",
    R"({"event":"void","time":"2003-11-18T11:00:00.000","pc":1})",
};

TEST(RecordsReport, CountsALogByDayPcAndStation) {
    const auto entries = EntriesFromLog(kLog, "st1");
    ASSERT_EQ(entries.size(), 6u);
    // PC 256 is no PC: that reader counts without a number.
    EXPECT_EQ(entries[5].kind, EntryKind::Programmed);
    EXPECT_EQ(entries[5].pc, -1);
    const auto rows = CountEntries(entries);
    struct Want {
        const char* day;
        int pc;
        const char* station;
        int programmed, verified, failed, voided, perHour;
    };
    // Per hour: the readers over the time from the first one's start to the
    // last one's end (18th, PC 1: two readers in 09:00:00 to 09:30:00).
    const std::vector<Want> want = {
        {"2003-11-18", -1, "st1", 1, 0, 1, 0, 1},
        {"2003-11-18", 1, "st1", 1, 0, 1, 1, 4},
        {"2003-11-19", -1, "st1", 0, 1, 0, 0, 720},
        {"2003-11-19", 1, "st1", 0, 0, 0, 1, 0},
        {"", -1, "line", 2, 1, 2, 2, 0},
    };
    ASSERT_EQ(rows.size(), want.size()) << ReportText(rows);
    for (std::size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i].day, want[i].day);
        EXPECT_EQ(rows[i].pc, want[i].pc);
        EXPECT_EQ(rows[i].station, want[i].station);
        EXPECT_EQ(rows[i].programmed, want[i].programmed);
        EXPECT_EQ(rows[i].verified, want[i].verified);
        EXPECT_EQ(rows[i].failed, want[i].failed);
        EXPECT_EQ(rows[i].voided, want[i].voided);
        EXPECT_EQ(rows[i].readersPerHour, want[i].perHour);
    }
}

TEST(RecordsReport, TextCsvAndSince) {
    const auto entries = Since(EntriesFromLog(kLog, "st,1"), "2003-11-19");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(ReportCsv(entries),
              "time,station,port,reader,pc,cnt,serial,result,void,step,durationMs\n"
              "2003-11-19T08:00:00.000,\"st,1\",,,1,290,,void,yes,,0\n"
              "2003-11-19T08:00:05.000,\"st,1\",1,1,,,,verified,no,,5000\n");
    const auto failed = EntriesFromLog({kLog[3]}, "s");
    EXPECT_EQ(ReportCsv(failed),
              "time,station,port,reader,pc,cnt,serial,result,void,step,durationMs\n"
              "2003-11-18T10:00:00.000,s,1,3,,,,failed,no,\"No, \"\"card\"\"\",500\n");
    EXPECT_EQ(ReportText(CountEntries(failed)),
              "day         pc    programmed verified failed void per-hour  station\n"
              "2003-11-18  -              0        0      1    0     7200  s\n"
              "            -              0        0      1    0     7200  line\n");
}

TEST(RecordsReport, DaysAndTimes) {
    struct Row {
        const char* text;
        bool day;
        long long ms;
    };
    const std::vector<Row> rows = {
        {"1970-01-01T00:00:00.000", false, 0},
        {"1970-01-02T00:00:01.5", false, -1},
        {"2000-03-01T00:00:00", false, 951868800000LL},
        {"2003-11-18T09:30:00.100", false, 1069147800100LL},
        {"2003-11-18T24:00:00.000", false, -1},
        {"2003-13-18T09:30:00.000", false, -1},
        {"2003-11-18", true, -1},
        {"2003-11-00", false, -1},
        {"2003/11/18", false, -1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        EXPECT_EQ(IsDay(r.text), r.day);
        EXPECT_EQ(TimeMs(r.text), r.ms);
    }
}

}  // namespace
}  // namespace usbisp::station
