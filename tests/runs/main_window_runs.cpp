// Scripted runs of the main window's commands that need devices on the
// bench: the device choice and DEVICE.TXT read again while the program runs.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace usbisp {
namespace {

using test::Lines;
using test::RunScript;
using test::TempDir;

std::string TwoReaders(const std::string& windows, const std::string& firmware = "") {
    auto reader = [&](const char* letters, const char* serial, const std::string& more) {
        return std::string(R"({"letters": ")") + letters + R"(", "serial": ")" + serial +
               R"(", "inquiry": {"vendor": "Generic", "product": "Flash Reader"},
                 "hardwareRevision": "76 20 43")" +
               more + "}";
    };
    return R"({"windows": ")" + windows + R"(", "readers": [)" +
           reader("E", "000000000001", firmware) + ", " + reader("F", "000000000002", "") + "]}";
}

constexpr const char* kMatchFlashReader =
    "FA_Inquiry_Manufacture = \"Generic\";\nFA_Inquiry_Product = \"Flash Reader\";\n";

// The lines of `transcript` that `command` added after the start-up.
std::vector<std::string> After(const std::string& startUp, const std::string& whole) {
    EXPECT_EQ(whole.compare(0, startUp.size(), startUp), 0);
    return Lines(whole.substr(startUp.size()));
}

TEST(DeviceSel, RefusedOnWindowsXpAndTheSelectionKept) {
    TempDir dir;
    dir.Write("DEVICE.TXT", kMatchFlashReader);
    const auto startUp = RunScript(dir, TwoReaders("xp"), "").transcript;
    ASSERT_NE(startUp.find("list 1030 add \"2\""), std::string::npos);
    const auto run = RunScript(dir, TwoReaders("xp"), "select 1030 2\nclick SelfDriverSel\n");
    const auto after = After(startUp, run.transcript);
    ASSERT_EQ(after.size(), 5u);
    EXPECT_EQ(after[0],
              "box none \"UsbIsp\" \"AP must run under win98 or WinMe with self-driver\"");
    EXPECT_EQ(after[1], "list 1027 clear");
    EXPECT_EQ(after[2], "field 1028 \"Inq.ProductName\"");
    EXPECT_NE(after[3].find("\\n The Device Select Now is : 1 with 1 slot.\""), std::string::npos);
    EXPECT_EQ(after[4], "field 1024 \"Flash Reader    [E:] \"");
}

TEST(DeviceSel, ChoosesTheDeviceWithoutDeviceTrafficOnWindows2000) {
    TempDir dir;
    dir.Write("DEVICE.TXT", kMatchFlashReader);
    const auto startUp = RunScript(dir, TwoReaders("2000"), "", {.traceIo = true}).transcript;
    const auto run =
        RunScript(dir, TwoReaders("2000"), "select 1030 2\nselect 1030 1\n", {.traceIo = true});
    const auto after = After(startUp, run.transcript);
    ASSERT_EQ(after.size(), 4u);
    EXPECT_NE(after[0].find("\\n Total Device Plug In : 2 \\n The Device Select Now is : 2 with "
                            "1 slot.\""),
              std::string::npos);
    EXPECT_EQ(after[1], "field 1024 \"Flash Reader    [F:] \"");
    EXPECT_NE(after[2].find("The Device Select Now is : 1 with 1 slot.\""), std::string::npos);
    EXPECT_EQ(after[3], "field 1024 \"Flash Reader    [E:] \"");
}

const char* const kSep = R"(\n=====================================================)";

std::string Summary(const std::string& rom, const std::string& adr, const std::string& vid,
                    const std::string& pid) {
    return std::string(R"(box none "User ISP Update Data Dialog" ")") + kSep +
           R"(\n==== SYSTEM Information For ISP)" + kSep + R"(\nOS            : Windows XP)" +
           R"(\nISP USB ROMCODE: )" + rom + R"(\nISP ADDRESS    : )" + adr +
           R"(\nISP DE3001 ROM : )" + kSep +
           R"(\n====Update String Or Inquiry Information For ISP )" + kSep +
           R"(\nVID            : )" + vid + R"(\nPID            : )" + pid +
           R"(\nStr_Manufacture: No Active)"
           R"(\nStr_Product    : No Active)"
           R"(\nStr_Serial     : No Active)"
           R"(\nInq_Manufacture: No Active)"
           R"(\nInq_Product    : No Active)"
           R"(\nInq_Version    : No Active)"
           R"(\nDEV_Setting    : No Active)" +
           kSep + "\"";
}

TEST(UserIspInfo, PressedTwiceAfterDeviceTxtChanged) {
    TempDir dir;
    // The reader's firmware is the next DEVICE.TXT: `dump` writes it over the
    // file while the program runs.
    dir.Write("DEVICE.TXT", "VID = \"0b62\";\nPID = \"5678\";\nISP_ROMCODE = \"ABC.BIN\";\n");
    dir.Write("NEW.TXT", "PID = \"5678\";\nVID = \"12345\";\n");
    const std::string bench =
        R"({"windows": "xp", "readers": [{"letters": "E", "firmware": "@NEW.TXT"}]})";
    const auto startUp = RunScript(dir, bench, "").transcript;
    EXPECT_EQ(Lines(startUp)[0], Summary("ABC.BIN", "ABC.adr", "No Active", "No Active"));

    dir.Write("DEVICE.TXT", "VID = \"0b62\";\nPID = \"5678\";\nISP_ROMCODE = \"ABC.BIN\";\n");
    const auto run = RunScript(dir, bench,
                               "click UserISPInfo\n"
                               "dump 1 DEVICE.TXT\n"
                               "click UserISPInfo\n"
                               "click UserISPInfo\n");
    const auto after = After(startUp, run.transcript);
    // The same file gives the same summary; the changed one drops the file
    // names, and its PID is still refused by the VID of the earlier load.
    const std::string changed = Summary("", "", "No Active", "No Active");
    EXPECT_EQ(after,
              (std::vector<std::string>{Summary("ABC.BIN", "ABC.adr", "No Active", "No Active"),
                                        changed, changed}));
}

}  // namespace
}  // namespace usbisp
