// Scripted runs of "WIN9xISP" and "WIN9xVER" up to the device: the ROM code
// and address files, the date, the compatibility checks and the stamping.
#include <gtest/gtest.h>

#include "firmware_runs.h"

namespace usbisp::test::fw {
namespace {

const std::string kCounter = "==  CEM= 0x57 || PC= 0x01 || CNT= 0x0123";
const std::string kCounterInMemory = "==  CEM= 0x00 || PC= 0x00 || CNT= 0x0000";
const std::string B = kRule + "\n" + kProgramTitle + "\n" + kRule;
const std::string H = ProgramHeader(kCounter, "573B12010123");
const std::string kProgram = "click ISP_Ena\nclick WIN9xISP\n";
const std::string kVerify = "click ISP_Ena\nclick WIN9xVER\n";
const std::string kSerialBefore = "0x11 0x01 0x0123";
constexpr std::size_t P = 0x106;  // the identity block of base offset 0x100

class ImageRuns : public ::testing::Test {
  protected:
    void SetUp() override {
        dir.Write("DEVICE.TXT", DeviceTxt());
        dir.WriteBytes("ROM.BIN", Image(1000, 5, 0xFE));
        dir.WriteBytes("ROM.adr", AddressFile(0x100, 6, 13));
        dir.Write("SERIAL.TXT", kSerialBefore);
    }
    std::string Run(const std::string& script = kProgram, RunOptions options = {}) {
        return FlowTranscript(dir, BenchJson(reader), script, options);
    }
    TempDir dir;
    Reader reader;
};

TEST_F(ImageRuns, RomCodeFilesThatCannotBeSent) {
    struct Row {
        std::size_t size;
        std::string box, line;
    };
    const Row rows[] = {
        {0, "Error!!! Problem reading file!!!", "Error!!! Problem reading ROM code file!!!"},
        {65537, "Error!!! File too large !!!, 65537", "Error!!! File too large !!!, 65537"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.size);
        dir.WriteBytes("ROM.BIN", Image(row.size, 5, 0xFE));
        EXPECT_EQ(Run(), StopBox(row.box) + Report(B + "\n" + row.line + Counters(0, 0, 0)));
        const std::string v0 = kRule + "\n" + kVerifyTitle + "\n" + kRule;
        EXPECT_EQ(Run(kVerify), StopBox(row.box) + Report(v0 + "\n" + row.line));
    }
    EXPECT_EQ(dir.Read("SERIAL.TXT"), kSerialBefore);
}

TEST_F(ImageRuns, ARomOf65536BytesIsRefusedBeforeAnyDeviceTraffic) {
    dir.WriteBytes("ROM.BIN", Image(65536, 5, 0xFE));
    const std::string refused =
        "Error!!! ROM code too large for this access path !!!, 65536 (65535 at most)";
    EXPECT_EQ(Run(kProgram, {true}),
              StopBox(refused) + Report(H + "\n" + refused + Counters(0, 0, 0)));
    const std::string v0 = kRule + "\n" + kVerifyTitle + "\n" + kRule +
                           "\n==  ROMCODE = ROM.BIN || VxD DRIVER =  \n" + kRule;
    EXPECT_EQ(Run(kVerify, {true}), StopBox(refused) + Report(v0 + "\n" + refused));
    EXPECT_EQ(dir.Read("SERIAL.TXT"), kSerialBefore);
}

TEST_F(ImageRuns, ARomOf65535BytesFillsTheLargestTransfer) {
    dir.WriteBytes("ROM.BIN", Image(65535, 5, 0xFE));
    const std::string transcript = Run(kProgram + "dump 1 out.bin\n", {true});
    const std::string sent = R"(io ioctl "\\\\.\\E:" 0x4d004 in=65616 out=65616 ok cdb=06b)";
    const std::string rest =
        "0000ffff800000000000 dir=out xfer=65536 timeout=30 scsi=00 data=5c2da08f\n";
    EXPECT_NE(transcript.find(sent + "1" + rest), std::string::npos) << transcript;
    EXPECT_NE(transcript.find(sent + "2" + "01" + rest.substr(2)), std::string::npos);
    Bytes stamped = Image(65535, 5, 0xFE);
    Put(stamped, 0x154, Descriptor("573B12010123"));
    EXPECT_EQ(ReadBytes(dir, "out.bin"), stamped);
}

TEST_F(ImageRuns, NoRomCodeKeyLeavesTheNameEmpty) {
    dir.Write("DEVICE.TXT", DeviceTxt("", ""));
    reader.hardware = "73 40 11";  // reads no address file
    const std::string text = "Error!!! Can Not Open  ISP Binary ROM Code";
    EXPECT_EQ(Run(), StopBox(text) + Report(B + "\n" + text + Counters(0, 0, 0)));
    EXPECT_EQ(Run(kVerify),
              StopBox(text) + Report(kRule + "\n" + kVerifyTitle + "\n" + kRule + "\n" + text));
}

TEST_F(ImageRuns, AMissingOrShortAddressFile) {
    dir.WriteBytes("ROM.adr", {0, 1, 0, 0, 6, 0, 0, 0});
    const std::string shortFile = "Error!!! Problem reading fileROM.adr";
    EXPECT_EQ(Run(), StopBox(shortFile) + Report(B + "\n" + shortFile + Counters(0, 0, 0)));
    ASSERT_EQ(std::remove((dir.path() + "/ROM.adr").c_str()), 0);
    const std::string missing = "Error!!! Can Not Open ROM.adr String address file.";
    EXPECT_EQ(Run(), StopBox(missing) + Report(B + "\n" + missing + Counters(0, 0, 0)));
}

TEST_F(ImageRuns, TheYear2000IsTooEarly) {
    reader.clock = "2000-12-31T23:00:00";
    const std::string text = "Error!!! Year too small, 2000";
    EXPECT_EQ(Run(), StopBox(text) + Report(B + "\n" + kCounter +
                                            "\n==  ROMCODE = ROM.BIN || VxD DRIVER =  \n" + kRule +
                                            "\n" + text + Counters(0, 0, 0)));
    EXPECT_EQ(dir.Read("SERIAL.TXT"), kSerialBefore);
}

TEST_F(ImageRuns, AModel7340ImageIsProgrammedAsRead) {
    reader.hardware = "73 40 11";
    dir.WriteBytes("ROM.BIN", Image(1000, 3, 0xFE));
    ASSERT_EQ(std::remove((dir.path() + "/ROM.adr").c_str()), 0);
    ASSERT_EQ(std::remove((dir.path() + "/SERIAL.TXT").c_str()), 0);
    EXPECT_EQ(Run(kProgram + "dump 1 out.bin\n"),
              FirstAttemptSuccess(ProgramHeader(kCounterInMemory, "003B12000000")));
    EXPECT_EQ(ReadBytes(dir, "out.bin"), Image(1000, 3, 0xFE));
    EXPECT_FALSE(dir.Exists("SERIAL.TXT"));
}

TEST_F(ImageRuns, EachCompatibilityCheckRefusesWithItsBox) {
    const std::string hardware = "nError!!! HardWare version not correct!!!";
    const std::string encoding = "nError!!! Firmware encoding not correct!!!";
    const std::string firmware = "nError!!! This Firmware not correct!!!";
    const std::string h734x = ProgramHeader(kCounterInMemory, "003B12000000");
    struct Row {
        const char* name;
        std::string triple;
        std::uint8_t type, marker;
        std::string box, header;
    };
    const Row rows[] = {
        {"1: type 2 on a 7650 without C", "76 50 11", 2, 0xFE, hardware, H},
        {"1: type 0x12 on a 7650 without C", "76 50 11", 0x12, 0xFE, hardware, H},
        {"2: type 1 on 7620C", "76 20 43", 1, 0xFE, encoding, H},
        {"3: legacy on 7650C", "76 50 43", 0, 0, encoding, H},
        {"4: type 3 on 7310, before check 7", "73 10 00", 3, 0xFE, hardware, H},
        {"5: type 1 on 7340", "73 40 11", 1, 0xFE, firmware, h734x},
        {"6: type 4 on 7311", "73 11 00", 4, 0xFC, hardware, H},
        {"7: legacy on 7410", "74 10 00", 0, 0, firmware, H},
        {"8: type 5 on a 7650", "76 50 11", 5, 0xFE, hardware, H},
        {"9: type 1 on 7353", "73 53 00", 1, 0xFE, encoding, H},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reader.hardware = row.triple;
        dir.WriteBytes("ROM.BIN", Image(1000, row.type, row.marker));
        EXPECT_EQ(Run(kProgram, {true}), StopBox(row.box) + Report(row.header + Counters(0, 0, 0)));
    }
    EXPECT_EQ(dir.Read("SERIAL.TXT"), kSerialBefore);
}

// DEVICE.TXT with every identity item.
const std::string kIdentity =
    "VID = \"058F\";\nPID = \"6362\";\nString_Manufacture = \"Maker\";\n"
    "String_Product = \"Card Reader\";\nInquiry_Manufacture = \"VEND\";\n"
    "Inquiry_Product = \"PROD\";\nInquiry_Version = \"1.23\";\nDevice_setting = \"0x01,0x02\";\n";

Bytes Chars(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

TEST_F(ImageRuns, StampingByImageType) {
    dir.Write("DEVICE.TXT", DeviceTxt(kIdentity));
    struct Row {
        std::string triple;
        std::uint8_t type;
        bool lengthBytes, settings;
    };
    const Row rows[] = {
        {"76 50 11", 1, true, false},
        {"76 20 43", 2, true, false},
        {"73 11 00", 5, false, false},
        {"73 53 00", 6, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.type));
        reader.hardware = row.triple;
        dir.Write("SERIAL.TXT", kSerialBefore);
        dir.WriteBytes("ROM.BIN", Image(1000, row.type, 0xFE));
        EXPECT_EQ(Run(kProgram + "dump 1 out.bin\n"), FirstAttemptSuccess(H));
        Bytes expected = Image(1000, row.type, 0xFE);
        Put(expected, P + 0x8A, {0x8F, 0x05, 0x62, 0x63});
        if (row.lengthBytes) {
            Put(expected, P + 0x1A, {12});
            Put(expected, P + 0x34, {24});
        }
        Put(expected, P + 0x1C, Chars("Maker                   "));
        Put(expected, P + 0x36, Chars("Card Reader             "));
        Put(expected, P + 0x9C, Chars("VEND    PROD            "));
        Put(expected, P + 0x94, Chars("1.23"));
        if (row.settings) {
            Bytes settings(26, 0xFF);
            settings[0] = 0x01;
            settings[1] = 0x02;
            Put(expected, P + 0xB6, settings);
        }
        Put(expected, P + 0x4E, Descriptor("573B12010123"));
        EXPECT_EQ(ReadBytes(dir, "out.bin"), expected);
        EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x1 0x124 ");
    }
}

TEST_F(ImageRuns, ALegacyImageGetsOnlyTheSerialDescriptor) {
    reader.hardware = "76 50 11";
    dir.Write("DEVICE.TXT", DeviceTxt(kIdentity));
    dir.WriteBytes("ROM.BIN", Image(1000, 0x07, 0x31));
    EXPECT_EQ(Run(kProgram + "dump 1 out.bin\n"), FirstAttemptSuccess(H));
    Bytes expected = Image(1000, 0x07, 0x31);
    Put(expected, 0x100 + 2 + 78, Descriptor("573B12010123"));
    EXPECT_EQ(ReadBytes(dir, "out.bin"), expected);
}

TEST_F(ImageRuns, AShortUserSerialIsShownStampedAndLeavesTheCounterFile) {
    reader.hardware = "76 50 11";
    dir.Write("DEVICE.TXT", DeviceTxt("QX~@$^_Str_Serial = \"AB12\";\n"));
    dir.WriteBytes("ROM.BIN", Image(1000, 0x07, 0x31));
    EXPECT_EQ(Run(kProgram + "dump 1 out.bin\n"),
              FirstAttemptSuccess(ProgramHeader(kCounter, "AB12")));
    Bytes expected = Image(1000, 0x07, 0x31);
    Put(expected, 0x100 + 2 + 78, Descriptor("AB12"));
    EXPECT_EQ(ReadBytes(dir, "out.bin"), expected);
    EXPECT_EQ(dir.Read("SERIAL.TXT"), kSerialBefore);
}

TEST_F(ImageRuns, AnAddressRecordOutsideTheImageIsRefusedBeforeAnythingIsWritten) {
    dir.WriteBytes("ROM.adr", AddressFile(0x3F0, 6, 13));  // the descriptor would end at 0x45E
    const std::string text = "Error!!! ROM.adr points outside the ROM code file!!!";
    EXPECT_EQ(Run(kProgram, {true}), StopBox(text) + Report(H + "\n" + text + Counters(0, 0, 0)));
    EXPECT_EQ(dir.Read("SERIAL.TXT"), kSerialBefore);
}

}  // namespace
}  // namespace usbisp::test::fw
