// Scripted runs: DEVICE.TXT as the operator sees it in the update data summary,
// at start-up and on "UserISPInfo".
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/sim/transcript_text.h"
#include "support/test_support.h"

namespace usbisp::test {

using sim::QuoteText;
namespace {

constexpr char kXpBench[] = R"({"windows": "xp", "clock": "2003-11-18T09:30:00"})";
constexpr char kSep[] = "\n=====================================================";
static_assert(sizeof kSep == 1 + 53 + 1);
constexpr char kNoActive[] = "No Active";

// What the summary shows; every item inactive unless given.
struct Summary {
    std::string system = "\nOS            : Windows XP";
    std::string romCode;
    std::string address;
    std::string msRomCode;
    std::string vid = kNoActive;
    std::string pid = kNoActive;
    std::string manufacture = kNoActive;
    std::string product = kNoActive;
    std::string serial = kNoActive;
    std::string inqManufacture = kNoActive;
    std::string inqProduct = kNoActive;
    std::string inqVersion = kNoActive;
    std::string deviceSetting = "\nDEV_Setting    : No Active";
};

constexpr char kSummaryBoxStart[] = "box none \"User ISP Update Data Dialog\" ";

std::string SummaryBox(const Summary& s) {
    const std::string text =
        std::string(kSep) + "\n==== SYSTEM Information For ISP" + kSep + s.system +
        "\nISP USB ROMCODE: " + s.romCode + "\nISP ADDRESS    : " + s.address +
        "\nISP DE3001 ROM : " + s.msRomCode + kSep +
        "\n====Update String Or Inquiry Information For ISP " + kSep +
        "\nVID            : " + s.vid + "\nPID            : " + s.pid +
        "\nStr_Manufacture: " + s.manufacture + "\nStr_Product    : " + s.product +
        "\nStr_Serial     : " + s.serial + "\nInq_Manufacture: " + s.inqManufacture +
        "\nInq_Product    : " + s.inqProduct + "\nInq_Version    : " + s.inqVersion +
        s.deviceSetting + kSep;
    return kSummaryBoxStart + QuoteText(text);
}

using BoxList = std::vector<std::string>;

const std::string kOpenErrorBox = R"(box stop "Message Dialog" "Error: Cannot open [DEVICE.TXT]")";

// Starts the program with DEVICE.TXT holding `deviceFile` (none when absent),
// runs `script` and returns the message boxes shown.
std::vector<std::string> Boxes(const std::optional<std::string>& deviceFile,
                               const std::string& script = "click Close\n",
                               const std::string& bench = kXpBench) {
    TempDir dir;
    if (deviceFile) dir.Write("DEVICE.TXT", *deviceFile);
    const RunResult result = RunScript(dir, bench, script);
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    std::vector<std::string> boxes;
    for (const std::string& line : Lines(result.transcript)) {
        if (line.rfind("box ", 0) == 0) boxes.push_back(line);
    }
    return boxes;
}

TEST(UpdateDataRuns, MissingFile) {
    EXPECT_EQ(Boxes(std::nullopt), (BoxList{kOpenErrorBox, SummaryBox({})}));
}

TEST(UpdateDataRuns, LongestValuesAndOneMore) {
    const std::string file =
        "String_Manufacture = \"ABCDEFGHIJKLMNOPQRSTUVWX\";\n"
        "String_Product = \"ABCDEFGHIJKLMNOPQRSTUVWXY\";\n"
        "QX~@$^_Str_Serial = \"000000000001\";\n"
        "Inquiry_Manufacture = \"12345678\";\n"
        "Inquiry_Product = \"0123456789ABCDEFG\";\n"
        "Inquiry_Version = \"1.000\";\n"
        "MS_ISP_ROMCODE = \"ABCDEFGH.BIN\";\n"
        "ISP_ROMCODE = \"ABCDEFGHI.BIN\";\n";
    Summary expected;
    expected.msRomCode = "ABCDEFGH.BIN";
    expected.manufacture = "ABCDEFGHIJKLMNOPQRSTUVWX ";
    expected.serial = "000000000001";
    expected.inqManufacture = "12345678 ";
    EXPECT_EQ(Boxes(file), BoxList{SummaryBox(expected)});
}

TEST(UpdateDataRuns, RefusedVendorIdentifiers) {
    for (const char* vid : {"0A51", "0b62", "0C73", "GA51"}) {
        SCOPED_TRACE(vid);
        const std::string file = std::string("VID = \"") + vid + "\";\nPID = \"1234\";\n";
        EXPECT_EQ(Boxes(file), BoxList{SummaryBox({})});
    }
    // Not hexadecimal or not 4 characters, but no refused identifier either.
    Summary pidOnly;
    pidOnly.pid = "0xa1b2 ";
    EXPECT_EQ(Boxes("VID = \"05G8\";\nPID = \"a1B2\";\n"), BoxList{SummaryBox(pidOnly)});
    EXPECT_EQ(Boxes("VID = \"058\";\nPID = \"a1B2\";\n"), BoxList{SummaryBox(pidOnly)});
    Summary vidOnly;
    vidOnly.vid = "0x058f ";
    EXPECT_EQ(Boxes("VID = \"058F\";\nPID = \"12z4\";\n"), BoxList{SummaryBox(vidOnly)});
}

TEST(UpdateDataRuns, ValueSyntax) {
    const std::string file =
        "VID = \"058F\" ;\n"            // blank before the semicolon
        "PID=\"6362\";\n"               // no blanks around "="
        "String_Manufacture = \"\";\n"  // empty
        "String_Product = \"USB  Card Reader\";\n"
        "Inquiry_Product = \"Flash Reader\" ;\n"
        "Inquiry_Manufacture = \"Generic\";\n";
    Summary expected;
    expected.product = "USB  Card Reader         ";
    expected.inqManufacture = "Generic  ";
    EXPECT_EQ(Boxes(file), BoxList{SummaryBox(expected)});
}

TEST(UpdateDataRuns, FileNames) {
    Summary noAddress;
    noAddress.romCode = "ABCDEFGHI.BN";
    noAddress.msRomCode = "MS.BIN";
    EXPECT_EQ(Boxes("ISP_ROMCODE = \"ABCDEFGHI.BN\"; MS_ISP_ROMCODE = \"MS.BIN\";"),
              BoxList{SummaryBox(noAddress)});
    Summary withAddress;
    withAddress.romCode = "ABC.BIN";
    withAddress.address = "ABC.adr";
    EXPECT_EQ(Boxes("ISP_ROMCODE = \"ABC.BIN\";"), BoxList{SummaryBox(withAddress)});
}

TEST(UpdateDataRuns, DeviceSettingWithThreeItems) {
    Summary expected;
    expected.deviceSetting =
        "\nDEV_setting    : "
        "\n         0 ~ 7 : 0x01 0x80 0x7f 0xff 0xff 0xff 0xff 0xff "
        "\n         8 ~ 15: 0xff 0xff 0xff 0xff 0xff 0xff 0xff 0xff "
        "\n        16 ~ 23: 0xff 0xff 0xff 0xff 0xff 0xff 0xff 0xff "
        "\n        24 ~ 25: 0xff 0xff ";
    EXPECT_EQ(Boxes("Device_setting = \"0x01,0x80,0x7F\";\n"), BoxList{SummaryBox(expected)});
}

TEST(UpdateDataRuns, CommentsAndTheFirstOfTwoEqualKeys) {
    const std::string file =
        "; identity data, line 3 -- ask before changing anything = here\r\n"
        "VID = \"058f\";   # the vendor\r\n"
        "PID = \"6362\";\r\n"
        "VID = \"1234\";   # an older entry, never read\r\n";
    Summary expected;
    expected.vid = "0x058f ";
    expected.pid = "0x6362 ";
    EXPECT_EQ(Boxes(file), BoxList{SummaryBox(expected)});
}

TEST(UpdateDataRuns, DriverLineOnWindows98) {
    const auto boxes = Boxes("", "click UserISPInfo\nclick Close\n",
                             R"({"windows": "98", "clock": "2003-11-18T09:30:00"})");
    BoxList summaries;
    for (const auto& box : boxes) {
        if (box.rfind(kSummaryBoxStart, 0) == 0) summaries.push_back(box);
    }
    // At start-up the summary comes before the driver list names a driver.
    Summary atStart;
    atStart.system = "\nOS            : Windows 98\nDevice Driver : ";
    Summary later;
    later.system = "\nOS            : Windows 98\nDevice Driver : ZIZIRADA.ZAV";
    EXPECT_EQ(summaries, (BoxList{SummaryBox(atStart), SummaryBox(later)}));
}

}  // namespace
}  // namespace usbisp::test
