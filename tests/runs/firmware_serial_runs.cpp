// Scripted runs around SERIAL.TXT: reading and range-testing it, the counter
// it hands out, and a file that cannot be written.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "firmware_runs.h"
#include "platform/sim/bench.h"
#include "platform/sim/bench_config.h"
#include "script/recording_view.h"
#include "ui/core.h"
#include "ui/main_dialog.h"

namespace usbisp::test::fw {
namespace {

const std::string B = kRule + "\n" + kProgramTitle + "\n" + kRule;
const std::string kProgram = "click ISP_Ena\nclick WIN9xISP\n";

class SerialRuns : public ::testing::Test {
  protected:
    void SetUp() override {
        dir.Write("DEVICE.TXT", DeviceTxt());
        dir.WriteBytes("ROM.BIN", Image(1000, 5, 0xFE));
        dir.WriteBytes("ROM.adr", AddressFile(0x100, 6, 13));
    }
    std::string Run() { return FlowTranscript(dir, BenchJson(reader), kProgram); }
    TempDir dir;
    Reader reader;
};

TEST_F(SerialRuns, AMissingFileEndsTheRun) {
    const std::string text = "Error!!!  Can Not Open Serial.txt !!!";
    EXPECT_EQ(Run(), StopBox(text) + Report(B + "\n" + text + Counters(0, 0, 0)));
    EXPECT_FALSE(dir.Exists("SERIAL.TXT"));
}

// A counter file without its three numbers (empty, cut short, anything else)
// is refused as a wrong one is: taking zeros would give every number of PC 0
// again. Nothing is programmed and the file stays as it was.
TEST_F(SerialRuns, AnEmptyCutOrUnparsableFileIsRefused) {
    const std::string text = "Error!!! CEM,PC,SERIAL Not Correct !!!";
    for (const char* content : {"", "serial numbers: none yet", "0x57 0x1 "}) {
        SCOPED_TRACE(content);
        dir.Write("SERIAL.TXT", content);
        EXPECT_EQ(Run(), StopBox(text) + Report(B + "\n" + text + Counters(0, 0, 0)));
        EXPECT_EQ(dir.Read("SERIAL.TXT"), content);
    }
}

TEST_F(SerialRuns, AStationNumberAbove0xFFIsRefusedBeforeAnyDeviceTraffic) {
    dir.Write("SERIAL.TXT", "0x57 0x100 0x1");
    const std::string text = "Error!!! CEM,PC,SERIAL Not Correct !!!";
    EXPECT_EQ(FlowTranscript(dir, BenchJson(reader), kProgram, {true}),
              StopBox(text) + Report(B + "\n" + text + Counters(0, 0, 0)));
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x100 0x1");
}

TEST_F(SerialRuns, TheCounterWrapsFrom0xFFFFToZero) {
    dir.Write("SERIAL.TXT", "0x11 0x05 0xFFFF");
    EXPECT_EQ(Run(), FirstAttemptSuccess(ProgramHeader("==  CEM= 0x57 || PC= 0x05 || CNT= 0xffff",
                                                       "573B1205FFFF")));
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x5 0x0 ");
}

// A run whose bench has file faults: the action script's runner cannot stage
// them, so the main window is driven here directly.
std::string RunWithFileFaults(const TempDir& dir, const std::string& benchJson,
                              std::set<std::string> faults, const std::vector<int>& clicks) {
    std::string error;
    auto config = sim::ParseBenchConfig(benchJson, dir.path(), error);
    EXPECT_TRUE(config) << error;
    if (!config) return {};
    std::ostringstream out;
    auto emit = [&out](const std::string& line) { out << line << '\n'; };
    sim::Bench bench(std::move(*config), dir.path(), emit, false);
    bench.SetFileFaults(std::move(faults));
    script::RecordingView view(emit);
    Core core(bench, view);
    MainDialog dialog(core);
    dialog.OnInitDialog();
    for (int id : clicks) dialog.OnButtonClicked(id);
    return out.str();
}

TEST_F(SerialRuns, AFileThatCannotBeWrittenKeepsTheCounterInMemoryOnly) {
    dir.Write("SERIAL.TXT", "0x11 0x01 0x0123");
    const std::string bench = BenchJson(reader);
    const std::string startUp = RunWithFileFaults(dir, bench, {"write:SERIAL.NEW"}, {});
    const std::string run =
        RunWithFileFaults(dir, bench, {"write:SERIAL.NEW"}, {ctl::kIspEna, ctl::kWin9xIsp});
    ASSERT_EQ(run.rfind(startUp, 0), 0u);
    const std::string h = ProgramHeader("==  CEM= 0x57 || PC= 0x01 || CNT= 0x0123", "573B12010123");
    std::string expected = FirstAttemptSuccess(h);
    const std::size_t report = expected.rfind("field 1021 ");
    expected.insert(report, StopBox("nError!!! Cannot save [SERIAL.TXT], program terminate"));
    EXPECT_EQ(run.substr(startUp.size()), expected);
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x11 0x01 0x0123");
    EXPECT_FALSE(dir.Exists("SERIAL.NEW"));
}

}  // namespace
}  // namespace usbisp::test::fw
