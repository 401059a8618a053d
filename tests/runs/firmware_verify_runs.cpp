// Scripted runs of "WIN9xVER" over the pass-through: the comparison of the
// controller's firmware with the ROM code file as stored.
#include <gtest/gtest.h>

#include "firmware_runs.h"

namespace usbisp::test::fw {
namespace {

const std::string V0 = kRule + "\n" + kVerifyTitle + "\n" + kRule +
                       "\n==  ROMCODE = ROM.BIN || VxD DRIVER =  \n" + kRule;
const std::string J = "\nSUCCESS! Verify STATUS:9c [Start Verify Firmware now]";
const std::string OK = "\nSUCCESS! Verify STATUS:5a [Verify Data sucessfull]";
const std::string kRetry1 = "\nWarning! Retry Verify the Firmware : 1st Time!!!";
const std::string kRetry2 = "\nWarning! Retry Verify the Firmware : 2st Time!!!";
const std::string kWindow =
    "progress open\nprogress range 0 15\nprogress show\n"
    "progress caption \"Verify status : \"\n" +
    Text(V0) + Step(5, 5);
const std::string kJumped = kWindow + "sleep 100\n" + Text(V0 + J) + Step(5, 10);

class VerifyRuns : public ::testing::Test {
  protected:
    // The ROM code file is a legacy image: verification checks no header.
    void SetUp() override {
        dir.Write("DEVICE.TXT", DeviceTxt());
        dir.WriteBytes("ROM.BIN", Image(1000, 0x00, 0x00));
    }
    std::string Run() {
        return FlowTranscript(dir, BenchJson(reader), "click ISP_Ena\nclick WIN9xVER\n");
    }
    TempDir dir;
    Reader reader;
};

TEST_F(VerifyRuns, AControllerHoldingTheFileAnswersAtOnce) {
    reader.firmware = "@ROM.BIN";
    EXPECT_EQ(Run(),
              kJumped + Step(5, 15) + Text(V0 + J + OK) + "progress hide\n" + Report(V0 + J + OK));
}

TEST_F(VerifyRuns, AMismatchThenAMatch) {
    reader.firmware = "@ROM.BIN";
    reader.answers = R"("IspVerify": ["33"])";
    EXPECT_EQ(Run(), kJumped + Text(V0 + J + kRetry1) + Step(5, 15) + Text(V0 + J + kRetry1 + OK) +
                         "progress hide\n" + Report(V0 + J + kRetry1 + OK));
}

TEST_F(VerifyRuns, ThreeAttemptsWithoutAMatch) {
    const std::string tried =
        kJumped + Text(V0 + J + kRetry1) + Text(V0 + J + kRetry1 + kRetry2) + "progress hide\n";
    const std::string s = V0 + J + kRetry1 + kRetry2;
    // A controller holding other firmware.
    const std::string mismatch = "Error!!! Uncorrect Firmware version, Verify Fail !!!";
    EXPECT_EQ(Run(), tried + StopBox(mismatch) + Report(s + "\n" + mismatch));

    reader.firmware = "@ROM.BIN";
    reader.answers = R"("IspVerify": ["a5", "a5", "a5"])";
    EXPECT_EQ(Run(),
              tried +
                  StopBox("Error!!! Verify Reponse status  != 0x5A or 0x33 !!!, Unknow Error "
                          "Happen!!!") +
                  Report(s + "\nError! Verify Reponse status != 0x5A or 0x33 !, Unknow Error "
                             "Happen!!!"));
}

TEST_F(VerifyRuns, EveryFailureEndsTheRunWithItsBoxAndLine) {
    struct Row {
        const char* name;
        std::string failures, answers;
        std::string window, box, line, shownBefore;
    };
    const std::string debug =
        "Error!!! DEBUG : JMP Verify reponse status : 0\n"
        "Error!!! JMP ISP reponse status  != 0x9c !!!";
    const Row rows[] = {
        {"IspJump fails", R"("IspJump")", "", kWindow, "Error!!! JMP ISP STATUS ERROR!!!",
         "Error!!! JMP Verify STATUS ERROR!!!", V0},
        {"first status read fails", R"("GetIspStatus#1")", "", kWindow + "sleep 100\n",
         "Error!!! GET ISP STATUS ERROR!!!", "Error!!! GET Verify STATUS ERROR!!!", V0},
        {"jump answered 0x00", "", R"("IspJump": ["00"])", kWindow + "sleep 100\n", debug, debug,
         V0},
        {"IspVerify fails", R"("IspVerify")", "", kJumped,
         "ERROR!!! ISP VERIFY Transfer Data Error!!!", "ERROR!!! ISP VERIFY Transfer Data Error!!!",
         V0 + J},
        {"status read after the compare fails", R"("GetIspStatus#2")", "", kJumped,
         "ERROR!!! GET Verify STATUS ERROR WHEN SEND DATA VERIFY!!!",
         "ERROR!!! GET Verify STATUS ERROR WHEN SEND DATA VERIFY!!!", V0 + J},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reader.failures = row.failures;
        reader.answers = row.answers;
        EXPECT_EQ(Run(), row.window + "progress hide\n" + StopBox(row.box) +
                             Report(row.shownBefore + "\n" + row.line));
    }
}

TEST_F(VerifyRuns, ADriveThatDoesNotOpenAddsOnlyALine) {
    reader.failures = R"("Open#2")";
    EXPECT_EQ(Run(), Report(V0 + "\nERROR: Access Disk Drive Failed!!!"));
}

}  // namespace
}  // namespace usbisp::test::fw
