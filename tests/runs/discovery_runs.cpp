// Scripted runs: "GetInfo" on the pass-through finds the card readers of the
// bench, gathers the drives of one reader into one device, and shows the
// device report and the name field.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/sim/transcript_text.h"
#include "support/test_support.h"
#include "unit/device_report_expected.h"

namespace usbisp::test {

using sim::QuoteText;
namespace {

using Lines = std::vector<std::string>;

std::string ReportField(const ExpectedReport& report) {
    return "field 1021 " + QuoteText(report.Text());
}

std::string NameField(const std::string& name) {
    return "field 1024 " + QuoteText(name);
}

constexpr char kFaFlashReader[] =
    "FA_Inquiry_Manufacture = \"Generic\";\nFA_Inquiry_Product = \"Flash Reader\";\n";

constexpr char kNotReady[] =
    "\nERROR: Device Not Ready when GET DEVICE VERSION!! \n"
    "  P/S: After ISP/Verify Device must plug-out first!";

// The run's events after the update data summary that opens it.
Lines AfterSummary(const RunResult& result) {
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    Lines lines = Lines(test::Lines(result.transcript));
    EXPECT_FALSE(lines.empty());
    if (lines.empty()) return lines;
    EXPECT_EQ(lines[0].rfind("box none \"User ISP Update Data Dialog\" ", 0), 0u) << lines[0];
    return Lines(lines.begin() + 1, lines.end());
}

constexpr char kFlashReaderInquiry[] =
    R"({"vendor": "Generic", "product": "Flash Reader", "revision": "1.00"})";

// A reader like the demo bench's on the given letters; `extra` adds keys.
struct ReaderKeys {
    std::string letters;
    std::string serial = "000000000001";
    std::string extra;
    std::string hardware = "76 20 43";
    std::string inquiry = kFlashReaderInquiry;
};

std::string Reader(const ReaderKeys& k) {
    return R"({"letters": ")" + k.letters + R"(", "vid": "058f", "pid": "6362",
      "manufacturer": "Generic", "product": "USB Card Reader", "serial": ")" +
           k.serial + R"(", "inquiry": )" + k.inquiry + R"(,
      "firmwareRevision": "01 02 03 03 05 14 01 02", "firmwareRevisionOrg": "01 02 35 14",
      "usb20FirmwareRevision": "02 10 00 04 0c 1f ab cd", "hardwareRevision": ")" +
           k.hardware + R"(",
      "memoryStick": {"main": "verM1.3a", "loader": "ver4K1.0"})" +
           k.extra + "}";
}

std::string Reader(const std::string& letters, const std::string& serial = "000000000001") {
    ReaderKeys keys;
    keys.letters = letters;
    keys.serial = serial;
    return Reader(keys);
}

std::string Bench(const std::string& windows, const std::string& readers,
                  const std::string& more = "") {
    return R"({"windows": ")" + windows + R"(", "clock": "2003-11-18T09:30:00")" + more +
           R"(, "readers": [)" + readers + "]}";
}

// The report of the reader above.
ExpectedReport ReaderReport(const std::string& serialShown, const std::string& selected,
                            const std::string& count = "1") {
    ExpectedReport e;
    e.manufacturer = "Generic";
    e.product = "USB Card Reader";
    e.serial = serialShown;
    e.vidPid = "[058f]-[6362]";
    e.inqManufacturer = "Generic ";
    e.inqProduct = "Flash Reader    ";
    e.inqRevision = "1.00";
    e.firmware = "1.02.03-2003-05-20[OEM-01][CEM-02]";
    e.org = "1.02-2003-05-20";
    e.ms = "verM1.3a";
    e.hardware = "7620C";
    e.usb20 = "2.10.00-2004-12-31[OEM-ab][CEM-cd]";
    e.count = count;
    e.selected = selected;
    return e;
}

const std::string kSerial1 = "0 0 0 0 0 0 0 0 0 0 0 1 ";

TEST(DiscoveryRuns, ThreeDrivesOfOneReaderAreOneDevice) {
    TempDir dir;
    dir.Write("DEVICE.TXT", kFaFlashReader);
    const RunResult run =
        RunScript(dir, Bench("xp", Reader("EFG"), R"(, "drives": "C")"), "click Close\n");
    EXPECT_EQ(AfterSummary(run), (Lines{R"(field 1028 "Inq.ProductName")", "list 1030 clear",
                                        R"(list 1030 add "1")", R"(list 1030 select "1")",
                                        ReportField(ReaderReport(kSerial1, "1 with 3 slot.")),
                                        NameField("Flash Reader    [E:] [F:] [G:] "), "end ok"}));
}

TEST(DiscoveryRuns, RequestsOfTheScan) {
    TempDir dir;
    dir.Write("DEVICE.TXT", kFaFlashReader);
    const RunResult run =
        RunScript(dir, Bench("xp", Reader("E"), R"(, "drives": "C")"), "click Close\n", {true});
    const Lines lines = AfterSummary(run);
    ASSERT_GE(lines.size(), 8u);
    // The plain disk answers its inquiry as a disk and is passed over.
    EXPECT_EQ(
        Lines(lines.begin() + 1, lines.begin() + 8),
        (Lines{
            R"(io open "\\\\.\\C:" ok access=0xc0000000 share=0x3 flags=0x0)",
            R"(io ioctl "\\\\.\\C:" 0x4d004 in=44 out=116 ok cdb=120000002400000000000000 dir=in xfer=36 timeout=2 scsi=00)",
            R"(io close "\\\\.\\C:")",
            R"(io open "\\\\.\\E:" ok access=0xc0000000 share=0x3 flags=0x0)",
            R"(io ioctl "\\\\.\\E:" 0x4d004 in=44 out=116 ok cdb=120000002400000000000000 dir=in xfer=36 timeout=2 scsi=00)",
            R"(io ioctl "\\\\.\\E:" 0x4d004 in=44 out=608 ok cdb=060500000000000080000000 dir=in xfer=528 timeout=2 scsi=00)",
            R"(io close "\\\\.\\E:")"}));
}

TEST(DiscoveryRuns, TwoReadersInTheOrderOfTheirFirstLetters) {
    TempDir dir;
    dir.Write("DEVICE.TXT", kFaFlashReader);
    const std::string readers = Reader("HI", "BBBBBBBBBBBB") + "," + Reader("EF", "AAAAAAAAAAAA");
    // Windows 2000 lets the operator choose the second device.
    const RunResult run = RunScript(dir, Bench("2000", readers), "select 1030 2\nclick Close\n");
    ExpectedReport first = ReaderReport("A A A A A A A A A A A A ", "1 with 2 slot.", "2");
    ExpectedReport second = ReaderReport("B B B B B B B B B B B B ", "2 with 2 slot.", "2");
    EXPECT_EQ(AfterSummary(run),
              (Lines{R"(field 1028 "Inq.ProductName")", "list 1030 clear", R"(list 1030 add "1")",
                     R"(list 1030 add "2")", R"(list 1030 select "1")", ReportField(first),
                     NameField("Flash Reader    [E:] [F:] "), ReportField(second),
                     NameField("Flash Reader    [H:] [I:] "), "end ok"}));
}

TEST(DiscoveryRuns, ChipsAsTheReportShowsThem) {
    TempDir dir;
    dir.Write("DEVICE.TXT", kFaFlashReader);
    // Model 7340 has no USB 2.0 revision; an unknown chip loses its bytes.
    ReaderKeys model7340Keys;
    model7340Keys.letters = "E";
    model7340Keys.hardware = "73 40 41";
    ReaderKeys unknownKeys;
    unknownKeys.letters = "F";
    unknownKeys.serial = "000000000002";
    unknownKeys.hardware = "12 34 56";
    const std::string readers = Reader(model7340Keys) + "," + Reader(unknownKeys);
    const RunResult run = RunScript(dir, Bench("2000", readers), "select 1030 2\nclick Close\n");
    const Lines lines = AfterSummary(run);
    ASSERT_EQ(lines.size(), 10u);
    ExpectedReport model7340 = ReaderReport(kSerial1, "1 with 1 slot.", "2");
    model7340.hardware = "7340A";
    model7340.ms = "N/A";
    model7340.usb20 = "N/A";
    ExpectedReport unknown = ReaderReport("0 0 0 0 0 0 0 0 0 0 0 2 ", "2 with 1 slot.", "2");
    unknown.hardware = "0000";
    unknown.ms = "N/A";
    EXPECT_EQ(lines[5], ReportField(model7340));
    EXPECT_EQ(lines[7], ReportField(unknown));
}

TEST(DiscoveryRuns, SixthUnitIsNotRecorded) {
    TempDir dir;
    dir.Write("DEVICE.TXT", kFaFlashReader);
    const RunResult run = RunScript(dir, Bench("xp", Reader("EFGHIJ")), "click Close\n");
    const Lines lines = AfterSummary(run);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[4], ReportField(ReaderReport(kSerial1, "1 with 5 slot.")));
    EXPECT_EQ(lines[5], NameField("Flash Reader    [E:] [F:] [G:] [H:] [I:] "));
}

TEST(DiscoveryRuns, EleventhReaderIsNotRecorded) {
    TempDir dir;
    dir.Write("DEVICE.TXT", kFaFlashReader);
    std::string readers;
    const std::string letters = "DEFGHIJKLMN";
    for (std::size_t i = 0; i < letters.size(); ++i) {
        char serial[32];
        std::snprintf(serial, sizeof serial, "SERIAL%06zu", i);
        if (i) readers += ",";
        readers += Reader(letters.substr(i, 1), serial);
    }
    const RunResult run = RunScript(dir, Bench("2000", readers), "select 1030 :\nclick Close\n");
    Lines expected = {R"(field 1028 "Inq.ProductName")", "list 1030 clear"};
    for (const char* entry : {"1", "2", "3", "4", "5", "6", "7", "8", "9", ":"})
        expected.push_back(std::string("list 1030 add \"") + entry + "\"");
    expected.push_back(R"(list 1030 select "1")");
    expected.push_back(
        ReportField(ReaderReport("S E R I A L 0 0 0 0 0 0 ", "1 with 1 slot.", "a")));
    expected.push_back(NameField("Flash Reader    [D:] "));
    expected.push_back(
        ReportField(ReaderReport("S E R I A L 0 0 0 0 0 9 ", "a with 1 slot.", "a")));
    expected.push_back(NameField("Flash Reader    [M:] "));
    expected.push_back("end ok");
    EXPECT_EQ(AfterSummary(run), expected);
}

TEST(DiscoveryRuns, DriveWhoseIdentityReadFailsIsPassedOver) {
    TempDir dir;
    dir.Write("DEVICE.TXT", kFaFlashReader);
    const RunResult run = RunScript(
        dir,
        Bench("xp",
              Reader(ReaderKeys{.letters = "EF", .extra = R"(, "failures": ["ReadIdentity#1"])"})),
        "click Close\n");
    const Lines lines = AfterSummary(run);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[4], ReportField(ReaderReport(kSerial1, "1 with 1 slot.")));
    EXPECT_EQ(lines[5], NameField("Flash Reader    [F:] "));
}

TEST(DiscoveryRuns, MatchedByTheSecondIdentityOnVendorAndProductAlone) {
    TempDir dir;
    dir.Write("DEVICE.TXT",
              "FB_Inquiry_Manufacture = \"Generic\";\nFB_Inquiry_Product = \"Flash Reader\";\n"
              "FB_Inquiry_Version = \"9.99\";\n");
    const RunResult run = RunScript(dir, Bench("xp", Reader("E")), "click Close\n");
    const Lines lines = AfterSummary(run);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[4], ReportField(ReaderReport(kSerial1, "1 with 1 slot.")));
}

TEST(DiscoveryRuns, NoMatchWithoutTheIdentities) {
    TempDir dir;
    dir.Write("DEVICE.TXT", "Inquiry_Product = \"Flash Reader\";\n");
    const RunResult run = RunScript(dir, Bench("xp", Reader("E")), "click Close\n");
    ExpectedReport empty;
    empty.status = kNotReady;
    EXPECT_EQ(AfterSummary(run), (Lines{R"(field 1028 "Inq.ProductName")", ReportField(empty),
                                        NameField(""), "end ok"}));
}

// The maker's reader as it answers under its own driver.
std::string OwnDriverReader(const std::string& extra) {
    return Reader(
        ReaderKeys{.letters = "E",
                   .extra = extra,
                   .inquiry = R"({"vendor": "", "product": "USB Reader", "revision": "01.A"})"});
}

TEST(DiscoveryRuns, Windows2000OwnDriverReadsTheBlockWithTheFallback) {
    TempDir dir;
    const RunResult run =
        RunScript(dir,
                  Bench("2000", OwnDriverReader(R"(, "failures": ["ReadIdentityBlock2"])"),
                        R"(, "drivers": ["TAVDRV.SYS"])"),
                  "click SelfDriverSel\nclick GetInfo\nclick Close\n", {true});
    Lines lines = Lines(test::Lines(run.transcript));
    // Skip the start (no DEVICE.TXT: no identity matches) up to the tick.
    auto tick = std::find(lines.begin(), lines.end(), "list 1027 clear");
    ASSERT_NE(tick, lines.end());
    ExpectedReport empty;
    ExpectedReport found = ReaderReport(kSerial1, "1 with 1 slot.");
    found.inqManufacturer = "        ";
    found.inqProduct = "USB Reader      ";
    found.inqRevision = "01.A";
    // The 512-byte read does not reach the USB 2.0 revision.
    found.usb20 = "0.00.00-2000-00-00[OEM-00][CEM-00]";
    const std::string e = R"("\\\\.\\E:")";
    EXPECT_EQ(
        Lines(tick, lines.end()),
        (Lines{"list 1027 clear", R"(field 1028 "Driver Select")", R"(list 1027 add "TAVDRV.SYS")",
               R"(list 1027 select "TAVDRV.SYS")", ReportField(empty), NameField(""),
               R"(io open "\\\\.\\TAVDRV" ok access=0xc0000000 share=0x0 flags=0x0)",
               R"(io close "\\\\.\\TAVDRV")",
               "io open " + e + " ok access=0xc0000000 share=0x3 flags=0x0",
               "io ioctl " + e +
                   " 0x4d004 in=44 out=116 ok cdb=120000002400000000000000 dir=in xfer=36 "
                   "timeout=2 scsi=00",
               "io ioctl " + e +
                   " 0x4d004 in=44 out=592 fail cdb=ff1304a55a30000001000000 dir=in xfer=512 "
                   "timeout=2 scsi=00",
               "io ioctl " + e +
                   " 0x4d004 in=44 out=592 ok cdb=ff0304a55a30000001000000 dir=in xfer=512 "
                   "timeout=2 scsi=00",
               "io close " + e, "list 1030 clear", R"(list 1030 add "1")",
               R"(list 1030 select "1")", ReportField(found), NameField("USB Reader      [E:] "),
               "end ok"}));
}

TEST(DiscoveryRuns, Windows2000OwnDriverNotInstalled) {
    TempDir dir;
    const RunResult run = RunScript(dir, Bench("2000", OwnDriverReader("")),
                                    "click SelfDriverSel\nclick GetInfo\nclick Close\n");
    Lines lines = Lines(test::Lines(run.transcript));
    ASSERT_GE(lines.size(), 5u);
    ExpectedReport failed;
    failed.status =
        "\nError: Can't Load the Driver TAVDRV.SYS\n  P/S: Device Not Ready Or Error Driver "
        "select.";
    EXPECT_EQ(
        Lines(lines.end() - 5, lines.end()),
        (Lines{R"(stdout "Loading Tavdrv.Sys is Failed!\n")",
               R"(box stop "Message Dialog" "Error!!! Device not ready Or Error Driver select")",
               ReportField(failed), NameField(""), "end ok"}));
}

}  // namespace
}  // namespace usbisp::test
