// Scripted runs of "WIN9xISP" over the pass-through: the programming sequence,
// its retries, its failures and the serial counter it advances.
#include <gtest/gtest.h>

#include "firmware_runs.h"

namespace usbisp::test::fw {
namespace {

const std::string kCounter = "==  CEM= 0x57 || PC= 0x01 || CNT= 0x0123";
const std::string H = ProgramHeader(kCounter, "573B12010123");
const std::string J = kJumpLine;
const std::string W = kWriteLine;
const std::string V = kVerifyLine;
const std::string kRetry1 = "\nWarning! Retry program the Firmware : 1st Time!!!";
const std::string kRetry2 = "\nWarning! Retry program the Firmware : 2st Time!!!";
const std::string kSerialBefore = "0x11 0x01 0x0123";

class ProgramRuns : public ::testing::Test {
  protected:
    // A 7311 with a type-5 image of 1000 bytes; the descriptor goes to
    // 0x100 + 6 + 6 x 13 = 0x154.
    void SetUp() override {
        dir.Write("DEVICE.TXT", DeviceTxt());
        dir.WriteBytes("ROM.BIN", Image(1000, 5, 0xFE));
        dir.WriteBytes("ROM.adr", AddressFile(0x100, 6, 13));
        dir.Write("SERIAL.TXT", kSerialBefore);
    }
    std::string Run(const std::string& script = "click ISP_Ena\nclick WIN9xISP\n",
                    RunOptions options = {}) {
        return FlowTranscript(dir, BenchJson(reader), script, options);
    }
    TempDir dir;
    Reader reader;
};

TEST_F(ProgramRuns, FirstAttemptSuccessStampsTheSerialAndAdvancesTheCounter) {
    const std::string expected = kProgramWindow + "sleep 100\n" + Text(H + J) + Step(2, 5) +
                                 Step(2, 7) + Step(2, 9) + Step(2, 11) + Text(H + J + W) +
                                 Step(4, 15) + Text(H + J + W + V) + "progress hide\n" +
                                 Report(H + J + W + V + Counters(1, 0, 1));
    EXPECT_EQ(Run("click ISP_Ena\nclick WIN9xISP\ndump 1 out.bin\n"), expected);
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x1 0x124 ");
    EXPECT_FALSE(dir.Exists("SERIAL.NEW"));
    Bytes stamped = Image(1000, 5, 0xFE);
    Put(stamped, 0x154, Descriptor("573B12010123"));
    EXPECT_EQ(ReadBytes(dir, "out.bin"), stamped);
}

TEST_F(ProgramRuns, CommandsAndDataPhaseOfAThousandByteImage) {
    const std::string transcript = Run("click ISP_Ena\nclick WIN9xISP\n", {true});
    const std::string path = R"(io ioctl "\\\\.\\E:" 0x4d004 )";
    EXPECT_NE(transcript.find(path + "in=1104 out=1104 ok cdb=06b10000e803020000000000"
                                     " dir=out xfer=1024 timeout=30 scsi=00 data=357d9748\n"),
              std::string::npos)
        << transcript;
    EXPECT_NE(transcript.find(path + "in=1104 out=1104 ok cdb=06b20100e803020000000000"
                                     " dir=out xfer=1024 timeout=30 scsi=00 data=357d9748\n"),
              std::string::npos)
        << transcript;
}

TEST_F(ProgramRuns, AMismatchThenAMatchRetriesOnce) {
    reader.answers = R"("IspVerify": ["33"])";
    const std::string expected = kProgramWindow + "sleep 100\n" + Text(H + J) + Step(2, 5) +
                                 Step(2, 7) + Step(2, 9) + Step(2, 11) + Text(H + J + W) +
                                 Step(4, 15) + Text(H + J + W + kRetry1) + Step(2, 2) + Step(2, 4) +
                                 Step(2, 6) + Text(H + J + W + kRetry1 + W) + Step(4, 10) +
                                 Text(H + J + W + kRetry1 + W + V) + "progress hide\n" +
                                 Report(H + J + W + kRetry1 + W + V + Counters(1, 0, 1));
    EXPECT_EQ(Run(), expected);
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x1 0x124 ");
}

// Three attempts that all end without 0x5A: the bar wraps past 15.
std::string ThreeAttempts(const std::string& box, const std::string& line) {
    const std::string s1 = H + J + W;
    const std::string s2 = s1 + kRetry1 + W;
    const std::string s3 = s2 + kRetry2 + W;
    return kProgramWindow + "sleep 100\n" + Text(H + J) + Step(2, 5) + Step(2, 7) + Step(2, 9) +
           Step(2, 11) + Text(s1) + Step(4, 15) + Text(s1 + kRetry1) + Step(2, 2) + Step(2, 4) +
           Step(2, 6) + Text(s2) + Step(4, 10) + Text(s2 + kRetry2) + Step(2, 12) + Step(2, 14) +
           Step(2, 1) + Text(s3) + Step(4, 5) + "progress hide\n" + StopBox(box) +
           Report(s3 + "\n" + line + Counters(0, 1, 1));
}

TEST_F(ProgramRuns, ThreeMismatchesFailTheRun) {
    reader.answers = R"("IspVerify": ["33", "33", "33"])";
    const std::string fail = "Error!!! ISP Data Verify Error, Program Fail!!!";
    EXPECT_EQ(Run(), ThreeAttempts(fail, fail));
    EXPECT_EQ(dir.Read("SERIAL.TXT"), kSerialBefore);
}

TEST_F(ProgramRuns, ThreeUnknownAnswersGiveABoxAndAShorterLine) {
    reader.answers = R"("IspVerify": ["a5", "00", "a5"])";
    EXPECT_EQ(Run(), ThreeAttempts(
                         "Error!!! ISP reponse status  != 0x5A or 0x33 !!!, Unknow Error Happen!!!",
                         "Error! ISP status != 0x5A or 0x33 !, Unknow Error Happen!!!"));
    EXPECT_EQ(dir.Read("SERIAL.TXT"), kSerialBefore);
}

TEST_F(ProgramRuns, EveryFailureEndsTheRunWithItsBoxLineAndCounter) {
    const std::string jumped = kProgramWindow + "sleep 100\n" + Text(H + J) + Step(2, 5);
    const std::string written = jumped + Step(2, 7) + Step(2, 9) + Step(2, 11) + Text(H + J + W);
    struct Row {
        const char* name;
        std::string failures, answers, scsiStatus;
        std::string window;  // what the window showed before it was hidden
        std::string text;    // box and line
        std::string shownBefore;
        int errors, total;
    };
    const std::string debug =
        "Error!!! DEBUG : JMP ISP reponse status : 0\nError!!! JMP ISP reponse status  != 0x9c !!!";
    const Row rows[] = {
        {"IspJump fails", R"("IspJump")", "", "", kProgramWindow,
         "Error!!! JMP ISP STATUS ERROR!!!", H, 0, 0},
        {"first status read fails", R"("GetIspStatus#1")", "", "", kProgramWindow + "sleep 100\n",
         "Error!!! GET ISP STATUS ERROR!!!", H, 0, 0},
        {"jump answered 0x00", "", R"("IspJump": ["00"])", "", kProgramWindow + "sleep 100\n",
         debug, H, 0, 0},
        {"IspWrite fails", R"("IspWrite")", "", "", jumped,
         "Error!!! ISP TRANSFER DATA ERROR WHEN PROGRAMING CODE!!!", H + J, 1, 1},
        {"IspWrite completes with CHECK CONDITION", "", "", R"("IspWrite#1": "02")", jumped,
         "Error!!! ISP TRANSFER DATA ERROR WHEN PROGRAMING CODE!!!", H + J, 1, 1},
        {"status read after the write fails", R"("GetIspStatus#2")", "", "", jumped + Step(2, 7),
         "Error!!! GET ISP STATUS ERROR WHEN PROGRAMING CODE!!!", H + J, 1, 1},
        {"write answered 0x5A, not retried", "", R"("IspWrite": ["5a"])", "",
         jumped + Step(2, 7) + Step(2, 9), "ERROR!!! JMP ISP reponse status  != 0xA5 !!!", H + J, 1,
         1},
        {"IspVerify fails", R"("IspVerify")", "", "", written,
         "ERROR!!! ISP VERIFY Transfer Data Error!!!", H + J + W, 1, 1},
        {"status read after the compare fails", R"("GetIspStatus#3")", "", "",
         written + Step(4, 15), "ERROR!!! GET ISP STATUS ERROR WHEN SEND DATA VERIFY!!!", H + J + W,
         1, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reader.failures = row.failures;
        reader.answers = row.answers;
        reader.scsiStatus = row.scsiStatus;
        const std::string expected =
            row.window + "progress hide\n" + StopBox(row.text) +
            Report(row.shownBefore + "\n" + row.text + Counters(0, row.errors, row.total));
        EXPECT_EQ(Run(), expected);
        EXPECT_EQ(dir.Read("SERIAL.TXT"), kSerialBefore);
    }
}

TEST_F(ProgramRuns, ADriveThatDoesNotOpenAddsOnlyALine) {
    // The first open is discovery's at start-up.
    reader.failures = R"("Open#2")";
    EXPECT_EQ(Run(), Report(H + "\nERROR: Access Disk Drive Failed!!!" + Counters(0, 0, 0)));
    EXPECT_EQ(dir.Read("SERIAL.TXT"), kSerialBefore);
}

TEST_F(ProgramRuns, TwoRunsHandOutConsecutiveSerialNumbers) {
    const std::string transcript =
        Run("click ISP_Ena\nclick WIN9xISP\nclick WIN9xISP\ndump 1 out.bin\n");
    const std::string second =
        ProgramHeader("==  CEM= 0x57 || PC= 0x01 || CNT= 0x0124", "573B12010124");
    std::vector<std::string> reports;
    for (const std::string& line : Lines(transcript))
        if (line.rfind("field 1021 ", 0) == 0) reports.push_back(line);
    EXPECT_EQ(reports, (std::vector<std::string>{
                           "field 1021 " + QuoteText(H + J + W + V + Counters(1, 0, 1)),
                           "field 1021 " + QuoteText(second + J + W + V + Counters(2, 0, 2))}));
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x1 0x125 ");
    Bytes stamped = Image(1000, 5, 0xFE);
    Put(stamped, 0x154, Descriptor("573B12010124"));
    EXPECT_EQ(ReadBytes(dir, "out.bin"), stamped);
}

}  // namespace
}  // namespace usbisp::test::fw
