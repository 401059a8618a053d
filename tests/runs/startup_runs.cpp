// Start-up of the main window on each platform, and the refusals of its
// handlers, as scripted runs show them.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace usbisp {
namespace {

using test::RunScript;
using test::TempDir;

std::string Bench(const std::string& windows, const std::string& more = "") {
    return R"({"windows": ")" + windows + R"(", "clock": "2003-11-18T09:30:00")" + more + "}";
}

const std::string kOpenError = R"(box stop "Message Dialog" "Error: Cannot open [DEVICE.TXT]")";

// The summary of an all-inactive record, with the system line and (where it
// shows) the driver line.
std::string EmptySummaryBox(const std::string& osLine, const std::string& driverLine = "") {
    return std::string(R"(box none "User ISP Update Data Dialog" ")") +
           R"(\n=====================================================)"
           R"(\n==== SYSTEM Information For ISP)"
           R"(\n=====================================================)"
           R"(\n)" +
           osLine + driverLine +
           R"(\nISP USB ROMCODE: )"
           R"(\nISP ADDRESS    : )"
           R"(\nISP DE3001 ROM : )"
           R"(\n=====================================================)"
           R"(\n====Update String Or Inquiry Information For ISP )"
           R"(\n=====================================================)"
           R"(\nVID            : No Active)"
           R"(\nPID            : No Active)"
           R"(\nStr_Manufacture: No Active)"
           R"(\nStr_Product    : No Active)"
           R"(\nStr_Serial     : No Active)"
           R"(\nInq_Manufacture: No Active)"
           R"(\nInq_Product    : No Active)"
           R"(\nInq_Version    : No Active)"
           R"(\nDEV_Setting    : No Active)"
           R"(\n=====================================================")";
}

// The report field for the cleared record, under `status`.
std::string EmptyReportField(const std::string& status, const std::string& locate = "") {
    return R"(field 1021 ")" + status +
           R"(\n=====================================================)"
           R"(\n====  Device String And Inquiry Information     =====)"
           R"(\n=====================================================)"
           R"(\n Str Manufacture Name :)"
           R"(\n Str Product Name     :)"
           R"(\n Str Serial Number    :)"
           R"(\n Device VID-PID       :[0000]-[0000])"
           R"(\n Inq Manufacture Name :)"
           R"(\n Inq Product Name     :)"
           R"(\n Inq Revision         :)"
           R"(\n USB F/W Revision :0.00.00-2000-00-00[OEM-00][CEM-00])"
           R"(\n USB F/W RevisionOrg  :0.00-2000-00-00)"
           R"(\n MS F/W Revision      :N/A)"
           R"(\n USB H/W Revision     :0000)"
           R"(\n USB20 F/W Revision   :0.00.00-2000-00-00[OEM-00][CEM-00])"
           R"(\n=====================================================)"
           R"(\n)"
           R"(\n Total Device Plug In : 0 )"
           R"(\n The Device Select Now is : 1 with 0 slot.)" +
           locate + "\"";
}

const std::string kEmptyName = R"(field 1024 "")";
const std::string kDriverListWin9x =
    "field 1028 \"Driver Select\"\n"
    "list 1027 add \"ZQ_URDR.PDR\"\n"
    "list 1027 add \"ZIZIRADA.ZAV\"\n"
    "list 1027 add \"RE20RERI.VAR\"\n"
    "list 1027 select \"ZIZIRADA.ZAV\"\n";
const std::string kLoadFailedStatus =
    R"(\nError: Can't Load the Driver ZIZIRADA.ZAV\n  P/S: Device Not Ready Or Error Driver select.)";
// No reader on the bench: discovery finds no device.
const std::string kNotReadyStatus =
    R"(\nERROR: Device Not Ready when GET DEVICE VERSION!! \n  P/S: After ISP/Verify Device must plug-out first!)";
const std::string kLoadFailedBox =
    R"(box stop "Message Dialog" "Error!!! Device not ready Or Error Driver select")";

TEST(StartUp, Windows98LoadsThePortDriverNamedInTheList) {
    TempDir dir;
    auto run = RunScript(dir, Bench("98"), "");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.transcript,
              kOpenError + "\n" +
                  EmptySummaryBox("OS            : Windows 98", R"(\nDevice Driver : )") + "\n" +
                  kDriverListWin9x + kLoadFailedBox + "\n" + EmptyReportField(kLoadFailedStatus) +
                  "\n" + kEmptyName + "\n");
}

TEST(StartUp, Windows95IsTreatedLikeWindows98) {
    TempDir dir;
    auto run = RunScript(dir, Bench("95"), "");
    EXPECT_NE(run.transcript.find(kDriverListWin9x), std::string::npos);
    EXPECT_NE(run.transcript.find("OS            : Windows 98"), std::string::npos);
}

TEST(StartUp, WindowsMeWithoutOwnDriverUsesNoDriverList) {
    // No ASPI on the bench: the scan says so on standard output and in a box.
    TempDir dir;
    auto run = RunScript(dir, Bench("me"), "");
    EXPECT_EQ(run.transcript,
              kOpenError + "\n" + EmptySummaryBox("OS            : Windows ME") + "\n" +
                  "field 1028 \"Inq.ProductName\"\n" +
                  "stdout \"Load WNASPI32.DLL or Get Function Address Fail \\n\"\n"
                  "box none \"UsbIsp\" \" No ASPI for WIN32 support detected.\\n This program "
                  "need ASPI in WinMe system.\"\n" +
                  EmptyReportField(kNotReadyStatus, R"(\n Locate [Adapter:Target] : [0:0])") +
                  "\n" + kEmptyName + "\n");
}

TEST(StartUp, Windows2000AndXpShowTheInquiryLabel) {
    for (const auto& [windows, osLine] :
         {std::pair<std::string, std::string>{"2000", "OS            : Windows 2K"},
          {"xp", "OS            : Windows XP"}}) {
        TempDir dir;
        auto run = RunScript(dir, Bench(windows), "");
        EXPECT_EQ(run.transcript, kOpenError + "\n" + EmptySummaryBox(osLine) + "\n" +
                                      "field 1028 \"Inq.ProductName\"\n" +
                                      EmptyReportField(kNotReadyStatus) + "\n" + kEmptyName + "\n")
            << windows;
    }
}

TEST(StartUp, UnsupportedPlatformsShowTheirMessageAloneAndEnd) {
    for (const char* windows : {"nt4", "2003", "vista", "7", "10"}) {
        TempDir dir;
        dir.Write("DEVICE.TXT", "VID = \"1234\";\n");
        auto run = RunScript(dir, Bench(windows), "", {.traceIo = true});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.transcript,
                  "box none \"UsbIsp\" \"This program must run under win9x or WinMe or Win2K or "
                  "WinXP\"\n"
                  "end cancel\n")
            << windows;
    }
}

TEST(StartUp, AnActionAfterAnUnsupportedStartIsAScriptError) {
    TempDir dir;
    auto run = RunScript(dir, Bench("7"), "click GetInfo\n");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(test::Lines(run.transcript).back(), "end cancel");
    EXPECT_EQ(run.errors, dir.path() + "/SCRIPT.TXT: line 1: the main window has ended\n");
}

// Everything a run prints after its start-up.
std::string AfterStartUp(const TempDir& dir, const std::string& bench, const std::string& script,
                         test::RunOptions options = {}) {
    const std::string startUp = RunScript(dir, bench, "", options).transcript;
    const std::string whole = RunScript(dir, bench, script, options).transcript;
    EXPECT_EQ(whole.compare(0, startUp.size(), startUp), 0);
    return whole.substr(startUp.size());
}

TEST(Refusals, ProgrammingAndVerificationWithoutIspEna) {
    TempDir dir;
    EXPECT_EQ(AfterStartUp(dir, Bench("xp"), "click WIN9xISP\nclick WIN9xVER\n"),
              "box none \"UsbIsp\" \"ISP_E2: Before ISP, Please select the [ISP_ena] first!!!\"\n"
              "box none \"UsbIsp\" \"Before Verify Firmware, Please select the [ISP_ena] "
              "first!!!\"\n");
}

TEST(Refusals, IspEnaClickedTwiceIsOffAgain) {
    TempDir dir;
    EXPECT_EQ(AfterStartUp(dir, Bench("98"), "click ISP_Ena\nclick ISP_Ena\nclick WIN9xISP\n"),
              "box none \"UsbIsp\" \"ISP_E2: Before ISP, Please select the [ISP_ena] first!!!\"\n");
}

TEST(Refusals, UnknownControllerOnEachSystemPath) {
    const std::pair<const char*, const char*> kCases[] = {
        {"me", "ISP_E5: ISP must run under win98 or WinMe or WIN2K with DRIVER Install."},
        {"2000", "ISP_E7: ISP must run under win98 or WinMe or WIN2K with DRIVER Install."},
        {"xp", "ISP_E8: ISP must run under win98 or WinMe or WIN2K with DRIVER Install."}};
    for (const auto& [windows, text] : kCases) {
        TempDir dir;
        EXPECT_EQ(AfterStartUp(dir, Bench(windows), "click ISP_Ena\nclick WIN9xISP\n"),
                  std::string("box none \"UsbIsp\" \"") + text + "\"\n")
            << windows;
    }
}

TEST(Refusals, MemoryStickModeOnWindowsXp) {
    TempDir dir;
    const std::string e9 =
        "box none \"UsbIsp\" \"ISP_E9: ISP must run under win98 or WinMe with DRIVER Install.\"\n";
    EXPECT_EQ(AfterStartUp(dir, Bench("xp"),
                           "click ISP_Ena\nclick ISP_MS F/W\nclick WIN9xISP\nclick WIN9xVER\n"),
              e9 + e9);
}

TEST(Refusals, SelfDriverSelRefillsTheListAndRedrawsWithoutDeviceTraffic) {
    TempDir dir;
    const std::string after =
        AfterStartUp(dir, Bench("me"), "click SelfDriverSel\n", {.traceIo = true});
    EXPECT_EQ(after, "list 1027 clear\n" + kDriverListWin9x + EmptyReportField("") + "\n" +
                         kEmptyName + "\n");
}

TEST(Refusals, WindowsMeOwnDriverThenDriverChoiceRunsGetInfoThroughIt) {
    TempDir dir;
    const std::string after =
        AfterStartUp(dir, Bench("me"), "click SelfDriverSel\nselect 1027 ZQ_URDR.PDR\n");
    const std::string failed =
        R"(\nError: Can't Load the Driver ZQ_URDR.PDR\n  P/S: Device Not Ready Or Error Driver select.)";
    EXPECT_EQ(after, "list 1027 clear\n" + kDriverListWin9x + EmptyReportField("") + "\n" +
                         kEmptyName + "\n" + kLoadFailedBox + "\n" + EmptyReportField(failed) +
                         "\n" + kEmptyName + "\n");
}

TEST(Closing, CloseEndsWithOkAndCancelWithCancel) {
    TempDir dir;
    EXPECT_EQ(AfterStartUp(dir, Bench("xp"), "click Close\n"), "end ok\n");
    EXPECT_EQ(AfterStartUp(dir, Bench("xp"), "cancel\n"), "end cancel\n");
    auto run = RunScript(dir, Bench("xp"), "cancel\nclick GetInfo\n");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.errors, dir.path() + "/SCRIPT.TXT: line 2: the main window has ended\n");
}

}  // namespace
}  // namespace usbisp
