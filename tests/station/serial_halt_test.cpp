// SERIAL.TXT changed under a running station (a backup put back by hand
// while readers are programmed): the next reader gets no number, the station
// halts with the reason and takes no further reader.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/transcript_text.h"
#include "station/bench_line.h"
#include "station/bench_timeline.h"
#include "station/production_log.h"
#include "support/test_support.h"

namespace usbisp::station {
namespace {

namespace fs = std::filesystem;

constexpr const char* kBench = R"({"windows": "xp", "clock": "2003-11-18T09:30:00",
  "readers": [
    {"inquiry": {"vendor": "Generic", "product": "Flash Reader"}, "hardwareRevision": "73 11 00"}],
  "station": {"ports": 1, "handling": 100, "line": {"readers": 3}}})";

// A line "<head> <ms> <tail>", whatever the milliseconds.
bool Has(const std::vector<std::string>& lines, const std::string& head, const std::string& tail) {
    for (const std::string& l : lines) {
        if (l.rfind(head + " ", 0) != 0 || l.size() < head.size() + tail.size() + 2) continue;
        const std::size_t ms = l.find(' ', head.size() + 1);
        if (ms != std::string::npos && l.substr(ms + 1) == tail) return true;
    }
    return false;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) text += l + "\n";
    return text;
}

TEST(SerialHalt, AFileChangedUnderTheStationHaltsIt) {
    test::TempDir dir;
    for (const auto& entry :
         fs::directory_iterator(fs::path(USBISP_CASES_DIR) / "fixtures" / "rom7311"))
        fs::copy_file(entry.path(), fs::path(dir.path()) / entry.path().filename());
    dir.Write("SERIAL.TXT", "0x57 0x01 0x0123");
    dir.Write("BENCH.JSON", kBench);
    std::string error;
    auto bench = LoadStationBench(dir.path() + "/BENCH.JSON", error);
    ASSERT_TRUE(bench) << error;
    ProductionLog log;
    ASSERT_TRUE(log.Open(dir.path() + "/PRODUCTION.LOG", error)) << error;

    std::vector<std::string> lines;
    StationConfig config;
    config.directory = dir.path();
    config.transcript = [&](const std::string& line) {
        lines.push_back(line);
        // The first reader is done: someone puts an old SERIAL.TXT back.
        if (line.rfind("port 1 programmed ", 0) == 0 && dir.Read("SERIAL.TXT") == "0x57 0x1 0x124 ")
            dir.Write("SERIAL.TXT", "0x57 0x01 0x0123");
    };
    BenchLine line(*bench, log, std::move(config));
    const RunCounts counts = line.Run();

    const std::string why =
        "Error!!! SERIAL.TXT was changed while the station ran: it holds \"0x57 0x01 0x0123\", "
        "the station wrote \"0x57 0x1 0x124 \"";
    EXPECT_TRUE(Has(lines, "port 1 programmed", "\"573B12010123\"")) << Joined(lines);
    EXPECT_TRUE(Has(lines, "port 1 failed", QuoteText(why))) << Joined(lines);
    EXPECT_TRUE(Has(lines, "station halted", QuoteText(why))) << Joined(lines);
    EXPECT_TRUE(Has(lines, "port 1 refused", QuoteText("not taken: the station halted: " + why)))
        << Joined(lines);
    EXPECT_EQ(counts.programmed, 1);
    EXPECT_EQ(counts.failed, 1);
    EXPECT_EQ(counts.voided, 0);
    // The file stays as the operator left it, and no second number was given.
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x01 0x0123");
    // A halted station leaves no final counter line: the next start squares
    // with the log as after a crash, and refuses the counter put back.
    for (const std::string& text : log.ReadLines())
        EXPECT_EQ(text.find("\"end\":true"), std::string::npos) << text;
}

}  // namespace
}  // namespace usbisp::station
