// The command line of usbisp: help, version, and bad input refused whole,
// before anything runs, with one line naming the file and what is wrong.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "platform/linux/scsi_nodes.h"
#include "support/test_support.h"

namespace usbisp {
namespace {

using test::TempDir;

struct Output {
    int status = -1;
    std::string out;
    std::string err;
};

Output RunBinary(const TempDir& dir, const std::string& arguments) {
    const std::string errFile = dir.path() + "/stderr.txt";
    const std::string command = std::string(USBISP_BINARY) + " " + arguments + " 2>" + errFile;
    Output result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> buffer{};
    for (size_t n; (n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
        result.out.append(buffer.data(), n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = dir.Read("stderr.txt");
    return result;
}

TEST(CommandLine, HelpAndVersion) {
    TempDir dir;
    auto help = RunBinary(dir, "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: usbisp", 0), 0u);
    EXPECT_NE(help.out.find("--trace-io"), std::string::npos);
    EXPECT_NE(help.out.find("--real"), std::string::npos);
    // Group access to the sg devices is all --real needs.
    EXPECT_NE(help.out.find("No capability is needed"), std::string::npos);
    EXPECT_EQ(help.out.find("setcap"), std::string::npos);
    auto version = RunBinary(dir, "--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("usbisp ", 0), 0u);
}

TEST(CommandLine, UsageErrors) {
    TempDir dir;
    auto unknown = RunBinary(dir, "--frobnicate");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err.rfind("usbisp: unknown argument \"--frobnicate\"\n", 0), 0u);
    auto missing = RunBinary(dir, "--script");
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err.rfind("usbisp: --script needs a value\n", 0), 0u);
    auto noDir = RunBinary(dir, "--script - --dir " + dir.path() + "/nothing </dev/null");
    EXPECT_EQ(noDir.status, 2);
    EXPECT_EQ(noDir.err, "usbisp: --dir " + dir.path() + "/nothing: not a directory\n");
}

TEST(CommandLine, BadBenchIsRefusedBeforeAnythingRuns) {
    TempDir dir;
    dir.Write("s.txt", "click GetInfo\n");
    const std::pair<const char*, const char*> kCases[] = {
        {R"({"windows": "xp", "colour": 1})", "key \"colour\": unknown key"},
        {R"({"windows": "os2"})", "key \"windows\": unknown version \"os2\""},
        {R"({"readers": [{"serial": "1234567890123"}]})",
         "key \"readers[0].serial\": longer than its field (12)"},
        {R"({"readers": [{"letters": "EFGHIJK"}]})",
         "key \"readers[0].letters\": must hold 1 to 6 drive letters"},
        {R"({"readers": [{"failures": ["IspWrote"]}]})",
         "key \"readers[0].failures\": unknown operation \"IspWrote\""},
        {R"({"drives": "C", "readers": [{"letters": "DC"}]})",
         "key \"readers[0].letters\": drive letter C is used twice"},
        {R"({"clock": "2003-02-30T00:00:00"})", "key \"clock\": date or time out of range"},
        {R"({"refusals": "silent"})",
         "key \"refusals\": must be \"transport\" or \"check-condition\""},
        {R"({"readers": [{"firmware": "@missing.bin"}]})",
         "key \"readers[0].firmware\": cannot read"},
        {R"({"drivers": ["TAVDRV.SYS"], "driverOpenFailures": ["ZQ_URDR.PDR#1"]})",
         "key \"driverOpenFailures\": \"ZQ_URDR.PDR\" is not one of the installed drivers"},
        {R"({"aspi": {"adapters": 1, "missing": ["SendASPICommand"]}})",
         "key \"aspi.missing\": unknown entry point \"SendASPICommand\""},
        {R"({"readers": [{"aspi": [0, 1]}, {"aspi": [0, 1]}]})",
         "key \"readers[1].aspi\": adapter and target are used twice"},
        {R"({"readers": [{"hangs": ["IspJumps"]}]})",
         "key \"readers[0].hangs\": unknown operation \"IspJumps\""},
        {R"({"drivers": ["TAVDRV.SYS"], "driverOpenFailures": ["tavdrv.sys#0"]})",
         "key \"driverOpenFailures\": \"tavdrv.sys#0\": the open number must be 1 or more"},
    };
    for (const auto& [bench, what] : kCases) {
        dir.Write("b.json", bench);
        auto run =
            RunBinary(dir, "--script " + dir.path() + "/s.txt --bench " + dir.path() + "/b.json");
        EXPECT_EQ(run.status, 2) << bench;
        EXPECT_EQ(run.out, "") << bench;
        EXPECT_EQ(run.err.rfind(dir.path() + "/b.json: " + what, 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    dir.Write("b.json", "{\"windows\": ");
    auto broken =
        RunBinary(dir, "--script " + dir.path() + "/s.txt --bench " + dir.path() + "/b.json");
    EXPECT_EQ(broken.status, 2);
    EXPECT_EQ(broken.err.rfind(dir.path() + "/b.json: not valid JSON", 0), 0u);
}

TEST(CommandLine, BadScriptIsRefusedBeforeAnythingRuns) {
    TempDir dir;
    const std::pair<const char*, const char*> kCases[] = {
        {"click GetInfo\nclick Program\n", "line 2: no button or check box \"Program\""},
        {"# a comment\n\nselect 1028 X\n", "line 3: no drop-down list 1028 (1027 or 1030)"},
        {"select 1027\n", "line 1: select needs a list id and an entry text"},
        {"dump 0 out.bin\n", "line 1: dump needs a reader number (1 or more) and a file name"},
        {"dump 2 out.bin\n", "line 1: there is no reader 2 on the bench"},
        {"replug now\n", "line 1: replug takes nothing after it"},
        {"press GetInfo\n", "line 1: unknown action \"press\""},
    };
    for (const auto& [script, what] : kCases) {
        dir.Write("s.txt", script);
        auto run = RunBinary(dir, "--script " + dir.path() + "/s.txt --dir " + dir.path());
        EXPECT_EQ(run.status, 2) << script;
        EXPECT_EQ(run.out, "") << script;
        EXPECT_EQ(run.err, dir.path() + "/s.txt: " + what + "\n");
    }
}

TEST(CommandLine, ImpossibleSelectionStopsTheRunWithTheTranscriptSoFar) {
    TempDir dir;
    dir.Write("s.txt", "click ISP_Ena\nselect 1030 7\nclick GetInfo\n");
    auto run = RunBinary(dir, "--script - --dir " + dir.path() + " <" + dir.path() + "/s.txt");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(test::Lines(run.out).back(), "field 1024 \"\"");
    EXPECT_EQ(run.err, "<stdin>: line 2: no entry \"7\" in list 1030\n");
}

TEST(CommandLine, RealReadersRefusedWhereTheyCannotWork) {
    TempDir dir;
    const std::string script = dir.path() + "/s.txt";
    dir.Write("s.txt", "click GetInfo\n");
    const std::pair<std::string, std::string> kCases[] = {
        {"--real --bench b.json --script " + script,
         "usbisp: --real and --bench exclude each other\n"},
        {"--drive E=/dev/sg1 --script " + script, "usbisp: --drive goes with --real\n"},
        {"--real --drive E:/dev/sg1 --script " + script,
         "usbisp: --drive \"E:/dev/sg1\" is not LETTER=DEVICE with a letter C to Z\n"},
        {"--real --drive E=/dev/sg1 --drive e=/dev/sg2 --script " + script,
         "usbisp: --drive names E: twice\n"},
        {"--real --drive", "usbisp: --drive needs a value\n"},
    };
    for (const auto& [arguments, what] : kCases) {
        auto run = RunBinary(dir, "--dir " + dir.path() + " " + arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_EQ(run.out, "") << arguments;
        EXPECT_EQ(run.err.substr(0, run.err.find('\n') + 1), what) << arguments;
        EXPECT_EQ(run.err.find("usage: usbisp"), what.size()) << arguments;
    }
    // No one reads out a real reader's firmware.
    dir.Write("s.txt", "click GetInfo\ndump 1 out.bin\n");
    auto dump = RunBinary(dir, "--real --script " + script + " --dir " + dir.path());
    EXPECT_EQ(dump.status, 2);
    EXPECT_EQ(dump.out, "");
    EXPECT_EQ(dump.err, script + ": line 2: dump needs the bench, not --real\n");
}

// --drive names a SCSI generic device: any other node that is there is a
// usage error, before anything runs.
TEST(CommandLine, DriveNamesAScsiGenericDevice) {
    TempDir dir;
    dir.Write("s.txt", "click Close\n");
    dir.Write("file", "");
    const std::string script = dir.path() + "/s.txt";
    for (const std::string& node : {std::string("/dev/null"), dir.path() + "/file", dir.path()}) {
        auto run = RunBinary(dir, "--real --drive E=" + node + " --script " + script);
        EXPECT_EQ(run.status, 2) << node;
        EXPECT_EQ(run.out, "") << node;
        const std::string what =
            "usbisp: --drive E=" + node + ": not a SCSI generic device (lsscsi -g lists them)\n";
        EXPECT_EQ(run.err.substr(0, run.err.find('\n') + 1), what);
        EXPECT_EQ(run.err.find("usage: usbisp"), what.size());
    }
}

// On a machine without card readers the program starts, finds nothing and
// ends, as the bench without a reader does; without the sg driver it says so.
TEST(CommandLine, RealWithoutReaders) {
    const lnx::ScsiScan scan = lnx::ScanScsiGeneric({});
    for (const lnx::ScsiNode& node : scan.nodes)
        if (node.usb && node.disk) GTEST_SKIP() << "this machine has USB disks";
    TempDir dir;
    dir.Write("s.txt", "click Close\n");
    auto run =
        RunBinary(dir, "--real --trace-io --script " + dir.path() + "/s.txt --dir " + dir.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, scan.driverLoaded ? ""
                                         : "usbisp: no SCSI generic devices: the sg module is not "
                                           "loaded (sudo modprobe sg)\n");
    EXPECT_EQ(run.out, test::ReadFile(USBISP_CASES_DIR "/startup/xp_no_reader/expected.txt"));
}

TEST(CommandLine, ScriptFromStandardInputWithTheDemoBench) {
    TempDir dir;
    dir.Write("s.txt", "click Close\n");
    auto run = RunBinary(dir, "--script - --dir " + dir.path() + " <" + dir.path() + "/s.txt");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(test::Lines(run.out).back(), "end ok");
}

// An option outside its mode names the mode; "--option=value" is the option
// and its value; a folder given as a file, or a --drive a headless run cannot
// reach, is refused before anything runs.
TEST(CommandLine, OptionsNameTheirModeAndTakeTheirValueAfterAnEqualsSign) {
    TempDir dir;
    dir.Write("s.txt", "click Close\n");
    const std::string script = dir.path() + "/s.txt";
    const std::pair<std::string, std::string> kRefused[] = {
        {"--verify-only --script " + script, "usbisp: --verify-only goes with --station\n"},
        {"--log p.log --script " + script, "usbisp: --log goes with --station\n"},
        {"--station --headless --script " + script,
         "usbisp: --script goes with the main window or --real\n"},
        {"--script=" + script + " --trace-io=yes", "usbisp: --trace-io takes no value\n"},
        {"--script " + script + " --bench " + dir.path(),
         "usbisp: --bench " + dir.path() + ": a directory, not a file\n"},
        {"--script=" + dir.path(),
         "usbisp: --script " + dir.path() + ": a directory, not a file\n"},
        {"--real --drive E=/dev/sg-usbisp-none --script " + script,
         "usbisp: --drive E=/dev/sg-usbisp-none: there is no such device\n"},
    };
    for (const auto& [arguments, what] : kRefused) {
        auto run = RunBinary(dir, "--dir " + dir.path() + " " + arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_EQ(run.out, "") << arguments;
        EXPECT_EQ(run.err.substr(0, run.err.find('\n') + 1), what) << arguments;
    }
    auto equals = RunBinary(dir, "--script=" + script + " --dir=" + dir.path() + " --trace-io");
    EXPECT_EQ(equals.status, 0) << equals.err;
    EXPECT_EQ(test::Lines(equals.out).back(), "end ok");
}

// What a bench file or script written by hand holds beyond the keys: a byte
// order mark, a station's timeline, firmware beside the bench file; a broken
// one is named without the JSON library's codes.
TEST(CommandLine, BenchAndScriptFilesAsUsersWriteThem) {
    TempDir dir;
    const std::string demo = USBISP_CASES_DIR "/../../demo/files";
    for (const char* file : {"DEVICE.TXT", "SERIAL.TXT", "DEMO7620.BIN", "DEMO7620.adr"})
        dir.Write(file, test::ReadFile(demo + "/" + file));
    const std::string verify = "click ISP_Ena\nclick WIN9xVER\nclick Close\n";
    const std::string bom = "\xEF\xBB\xBF";
    struct Row {
        std::string bench;  // empty: the demo's BENCH.JSON where it lies
        std::string script;
    };
    const Row rows[] = {
        {"", verify},
        {"", bom + verify},
        {bom + R"({"readers": [{"letters": "E", "firmware": "@DEMO7620.BIN"}]})", verify},
        {R"({"readers": [{"letters": "E", "firmware": "@DEMO7620.BIN"}],)"
         R"( "station": {"ports": 2, "plugs": [{"port": 2}]}})",
         verify},
    };
    for (const Row& row : rows) {
        dir.Write("s.txt", row.script);
        std::string bench = demo + "/BENCH.JSON";
        if (!row.bench.empty()) {
            dir.Write("b.json", row.bench);
            bench = dir.path() + "/b.json";
        }
        auto run = RunBinary(
            dir, "--script " + dir.path() + "/s.txt --bench " + bench + " --dir " + dir.path());
        EXPECT_EQ(run.status, 0) << row.bench << run.err;
        EXPECT_EQ(run.err, "") << row.bench;
        EXPECT_NE(run.out.find("SUCCESS! Verify STATUS:5a [Verify Data sucessfull]"),
                  std::string::npos)
            << row.bench;
    }
    dir.Write("s.txt", verify);
    dir.Write("b.json", "{\"windows\": ");
    auto broken =
        RunBinary(dir, "--script " + dir.path() + "/s.txt --bench " + dir.path() + "/b.json");
    EXPECT_EQ(broken.status, 2);
    EXPECT_EQ(broken.err.rfind(dir.path() + "/b.json: not valid JSON: parse error at line 1", 0),
              0u)
        << broken.err;
    EXPECT_EQ(broken.err.find("json.exception"), std::string::npos) << broken.err;
}

// dump writes where an absolute path points, and says why it could not.
TEST(CommandLine, DumpToAnAbsolutePathAndItsReason) {
    TempDir dir;
    TempDir elsewhere;
    const std::string image = elsewhere.path() + "/image.bin";
    dir.Write("s.txt", "dump 1 " + image + "\ndump 1 " + elsewhere.path() + "/none/x.bin\n");
    auto run = RunBinary(dir, "--script " + dir.path() + "/s.txt --dir " + dir.path());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, dir.path() + "/s.txt: line 2: cannot write \"" + elsewhere.path() +
                           "/none/x.bin\": No such file or directory\n");
    EXPECT_EQ(test::ReadFile(image),
              test::ReadFile(USBISP_CASES_DIR "/../../demo/files/DEMO7620.BIN"));
    EXPECT_EQ(test::ReadFile(dir.path() + "/" + image), "");
}

}  // namespace
}  // namespace usbisp
