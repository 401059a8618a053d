// The demo: the built-in demo bench and the files in demo/files make the
// walk-through of the README work.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/sim/bench_file.h"
#include "script/headless.h"
#include "support/test_support.h"

namespace usbisp::tui {
namespace {

std::vector<std::uint8_t> ReadDemoFile(const std::string& name) {
    std::ifstream in(std::string(USBISP_DEMO_FILES) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(DemoBench, RunsInRealTimeWithItsReaderHoldingTheDemoRomCodeFile) {
    std::string error;
    auto config = sim::LoadBenchFile("", error);
    ASSERT_TRUE(config) << error;
    EXPECT_TRUE(config->realtime);
    ASSERT_EQ(config->readers.size(), 1u);
    const auto file = ReadDemoFile("DEMO7620.BIN");
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(config->readers[0].firmware, file);
}

// Each text in turn, each after the one before.
void ExpectInOrder(const std::string& transcript, const std::vector<std::string>& texts) {
    std::size_t at = 0;
    for (const std::string& text : texts) {
        const std::size_t found = transcript.find(text, at);
        ASSERT_NE(found, std::string::npos) << "missing after offset " << at << ": " << text;
        at = found + text.size();
    }
}

TEST(DemoWalkThrough, VerifyProgramVerifyNotReadyReplugAndReadAgain) {
    test::TempDir dir;
    for (const char* name : {"DEVICE.TXT", "SERIAL.TXT", "DEMO7620.BIN", "DEMO7620.adr"}) {
        const auto bytes = ReadDemoFile(name);
        ASSERT_FALSE(bytes.empty()) << name;
        dir.WriteBytes(name, {bytes.begin(), bytes.end()});
    }
    script::HeadlessOptions options;
    options.scriptPath = "-";
    options.directory = dir.path();
    std::istringstream script(
        "click ISP_Ena\nclick WIN9xVER\nclick WIN9xISP\nclick WIN9xVER\n"
        "click GetInfo\nreplug\nclick GetInfo\nclick Close\n");
    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(script::RunHeadless(options, script, out, err), 0) << err.str();

    ExpectInOrder(
        out.str(),
        {
            "ISP USB ROMCODE: DEMO7620.BIN",
            "field 1024 \"Flash Reader    [E:] \"",
            "SUCCESS! Verify STATUS:5a [Verify Data sucessfull]",
            "SUCCESS! ISP STATUS:5a [Verify Data sucessfull]",
            "Success Number Of ISP: 1",
            "box stop \"UsbIsp\" \"Error!!! Uncorrect Firmware version, Verify Fail !!!\"",
            "ERROR: Device Not Ready when GET DEVICE VERSION!! ",
            "field 1024 \"Flash Reader    [E:] \"",
            "end ok",
        });
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x1 0x101 ");
}

}  // namespace
}  // namespace usbisp::tui
