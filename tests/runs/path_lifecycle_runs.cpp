// Every access path through the same lifecycle of programming and
// verification runs: one row per path, the same scenarios for each. A path
// that joins adds its row.
#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "firmware_runs.h"
#include "platform/sim/transcript_text.h"

namespace usbisp::test::fw {
namespace {

using sim::QuoteText;

struct PathRow {
    const char* name;
    std::string windows;
    std::string drivers;       // members of the "drivers" array
    std::string inquiry;       // the reader's "inquiry" object
    std::string setup;         // actions that choose the path after start-up
    std::string driver;        // the name the banner shows as the driver
    std::vector<int> bar;      // bar positions of a first-attempt programming success
    std::string machine = "";  // further machine keys
    std::string reader = "";   // further reader keys
};

const std::string kGenericInquiry =
    R"({"vendor": "Generic", "product": "Flash Reader", "revision": "1.00"})";
const std::string kMakersReader = R"({"vendor": "", "product": "USB Reader", "revision": "01.A"})";

const PathRow kPaths[] = {
    // clang-format off
    {"PassThroughXp", "xp", "", kGenericInquiry, "", "", {3, 5, 7, 9, 11, 15}},
    {"PassThrough2000", "2000", "", kGenericInquiry, "", "", {3, 5, 7, 9, 11, 15}},
    {"KernelDriver", "2000", R"("TAVDRV.SYS")", kMakersReader, "click SelfDriverSel\n",
     "TAVDRV.SYS", {3, 5, 6, 8, 11, 12}},
    {"PortDriver65", "98", R"("ZIZIRADA.ZAV")", kGenericInquiry, "", "ZIZIRADA.ZAV",
     {1, 2, 3, 4, 5, 6, 7}},
    {"PortDriver65Me", "me", R"("ZIZIRADA.ZAV")", kGenericInquiry, "click SelfDriverSel\n",
     "ZIZIRADA.ZAV", {1, 2, 3, 4, 5, 6, 7}},
    {"PortDriver66", "98", R"("ZIZIRADA.ZAV", "RE20RERI.VAR")", kGenericInquiry,
     "select 1027 RE20RERI.VAR\n", "RE20RERI.VAR", {1, 2, 3, 4, 5, 6, 7}},
    {"Aspi", "me", "", kGenericInquiry, "", "", {3, 5, 6}, R"("aspi": {"adapters": 1}, )",
     R"(, "aspi": [0, 1])"},
    // clang-format on
};

// What a scenario stages on the reader and what the run must end with.
struct Scenario {
    const char* name;
    std::string reader;  // extra members of the reader object
    bool verify = false;
    std::string box;     // the stop box, empty when none
    std::string ending;  // the status text after the header
    int success = 0, error = 0, total = 0;
};

const std::string kCounter = "==  CEM= 0x57 || PC= 0x01 || CNT= 0x0123";
const std::string kRetry1 = "\nWarning! Retry program the Firmware : 1st Time!!!";
const std::string kRetry2 = "\nWarning! Retry program the Firmware : 2st Time!!!";
const std::string kVerifyJump = "\nSUCCESS! Verify STATUS:9c [Start Verify Firmware now]";
const std::string kVerifyDone = "\nSUCCESS! Verify STATUS:5a [Verify Data sucessfull]";
const std::string kMismatch = "Error!!! ISP Data Verify Error, Program Fail!!!";
const std::string kVerifyMismatch = "Error!!! Uncorrect Firmware version, Verify Fail !!!";
const std::string kDebug =
    "Error!!! DEBUG : JMP ISP reponse status : 0\nError!!! JMP ISP reponse status  != 0x9c !!!";
const std::string kWriteFailed = "Error!!! ISP TRANSFER DATA ERROR WHEN PROGRAMING CODE!!!";

std::string RomHex() {
    std::string hex;
    char byte[4];
    for (unsigned char b : Image(1000, 5, 0xFE)) {
        std::snprintf(byte, sizeof byte, "%02x", b);
        hex += byte;
    }
    return hex;
}

const Scenario kScenarios[] = {
    {"FirstAttemptSuccess", "", false, "", kJumpLine + kWriteLine + kVerifyLine, 1, 0, 1},
    {"JumpFails", R"("failures": ["IspJump"])", false, "Error!!! JMP ISP STATUS ERROR!!!",
     "\nError!!! JMP ISP STATUS ERROR!!!", 0, 0, 0},
    {"JumpAnsweredZero", R"("answers": {"IspJump": ["00"]})", false, kDebug, "\n" + kDebug, 0, 0,
     0},
    {"WriteFails", R"("failures": ["IspWrite"])", false, kWriteFailed,
     kJumpLine + "\n" + kWriteFailed, 0, 1, 1},
    {"ThreeMismatches", R"("answers": {"IspVerify": ["33", "33", "33"]})", false, kMismatch,
     kJumpLine + kWriteLine + kRetry1 + kWriteLine + kRetry2 + kWriteLine + "\n" + kMismatch, 0, 1,
     1},
    {"VerifyEqual", R"("firmware": ")" + RomHex() + "\"", true, "", kVerifyJump + kVerifyDone},
    {"VerifyDifferent", "", true, kVerifyMismatch,
     kVerifyJump + "\nWarning! Retry Verify the Firmware : 1st Time!!!" +
         "\nWarning! Retry Verify the Firmware : 2st Time!!!\n" + kVerifyMismatch},
};

std::string Bench(const PathRow& path, const Scenario& scenario) {
    std::string reader =
        R"({"letters": "E", "vid": "058f", "pid": "6362", "serial": "000000000001",)"
        R"( "hardwareRevision": "73 11 00", "inquiry": )" +
        path.inquiry + path.reader;
    if (!scenario.reader.empty()) reader += ", " + scenario.reader;
    return R"({"windows": ")" + path.windows + R"(", "clock": "2003-11-18T09:30:00", )" +
           path.machine + R"("drivers": [)" + path.drivers + R"(], "readers": [)" + reader + "}]}";
}

// The lines of a transcript that start with `prefix`, without it.
std::vector<std::string> LinesWith(const std::string& transcript, const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& line : Lines(transcript))
        if (line.rfind(prefix, 0) == 0) found.push_back(line.substr(prefix.size()));
    return found;
}

class PathLifecycle : public ::testing::TestWithParam<std::tuple<PathRow, Scenario>> {};

TEST_P(PathLifecycle, Runs) {
    const auto& [path, scenario] = GetParam();
    TempDir dir;
    dir.Write("DEVICE.TXT", DeviceTxt());
    dir.WriteBytes("ROM.BIN", Image(1000, 5, 0xFE));
    dir.WriteBytes("ROM.adr", AddressFile(0x100, 6, 13));
    dir.Write("SERIAL.TXT", "0x11 0x01 0x0123");
    std::size_t handlesLeft = 99;
    const std::string command = scenario.verify ? "WIN9xVER" : "WIN9xISP";
    const RunResult run =
        RunScript(dir, Bench(path, scenario),
                  path.setup + "click GetInfo\nclick ISP_Ena\nclick " + command + "\nclick Close\n",
                  {false, &handlesLeft});
    ASSERT_EQ(run.exitCode, 0) << run.errors;

    const std::string header =
        scenario.verify
            ? kRule + "\n" + kVerifyTitle + "\n" + kRule +
                  "\n==  ROMCODE = ROM.BIN || VxD DRIVER = " + path.driver + " \n" + kRule
            : ProgramHeader(kCounter, "573B12010123", "ROM.BIN", path.driver);
    std::string report = header + scenario.ending;
    if (!scenario.verify) report += Counters(scenario.success, scenario.error, scenario.total);
    const auto fields = LinesWith(run.transcript, "field 1021 ");
    ASSERT_FALSE(fields.empty());
    EXPECT_EQ(fields.back(), QuoteText(report)) << run.transcript;

    const auto boxes = LinesWith(run.transcript, "box stop \"UsbIsp\" ");
    if (scenario.box.empty()) {
        EXPECT_TRUE(boxes.empty()) << run.transcript;
    } else {
        EXPECT_EQ(boxes, std::vector<std::string>{QuoteText(scenario.box)});
    }
    if (scenario.name == std::string("FirstAttemptSuccess")) {
        std::vector<int> bar;
        for (const std::string& p : LinesWith(run.transcript, "progress stepit "))
            bar.push_back(std::stoi(p));
        EXPECT_EQ(bar, path.bar);
    }
    if (scenario.name == std::string("VerifyEqual")) {
        EXPECT_EQ(LinesWith(run.transcript, "progress stepit "),
                  (std::vector<std::string>{"5", "10", "15"}));
    }
    const bool advanced = scenario.success == 1;
    EXPECT_EQ(dir.Read("SERIAL.TXT"), advanced ? "0x57 0x1 0x124 " : "0x11 0x01 0x0123");
    EXPECT_EQ(handlesLeft, 0u) << "handles left open after Close";
}

std::string Name(const ::testing::TestParamInfo<std::tuple<PathRow, Scenario>>& info) {
    return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(Paths, PathLifecycle,
                         ::testing::Combine(::testing::ValuesIn(kPaths),
                                            ::testing::ValuesIn(kScenarios)),
                         Name);

}  // namespace
}  // namespace usbisp::test::fw
