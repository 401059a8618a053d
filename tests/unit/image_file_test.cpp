// Loading the ROM code file and the string address file.
#include "firmware/image_file.h"

#include <gtest/gtest.h>

#include "firmware_test_support.h"

namespace usbisp::test {
namespace {

class ImageFile : public ::testing::Test, protected FileBench {
  protected:
    FirmwareImage image;
};

TEST_F(ImageFile, AShorterImageDoesNotCarryTheTailOfALongerOne) {
    dir.WriteBytes("LONG.BIN", std::vector<unsigned char>(3000, 0xAB));
    dir.WriteBytes("SHORT.BIN", {1, 2, 3});
    ASSERT_TRUE(LoadRomCodeFile(bench, messages, "LONG.BIN", image));
    EXPECT_EQ(image.length, 3000u);
    ASSERT_TRUE(LoadRomCodeFile(bench, messages, "SHORT.BIN", image));
    EXPECT_EQ(image.length, 3u);
    EXPECT_EQ(image.bytes[2], 3);
    for (std::size_t i = 3; i < 3000; ++i) ASSERT_EQ(image.bytes[i], 0) << i;
}

TEST_F(ImageFile, ALengthThatCannotBeTakenIsReportedAsMinusOne) {
    dir.WriteBytes("ROM.BIN", {1, 2, 3});
    bench.SetFileFaults({"length:ROM.BIN"});
    EXPECT_FALSE(LoadRomCodeFile(bench, messages, "ROM.BIN", image));
    EXPECT_EQ(view.boxes, std::vector<std::string>{"stop Error!!! File length error !!!,-1"});
    EXPECT_EQ(statusText, "\nError!!! File length error !!!,-1");
}

TEST_F(ImageFile, AddressRecordIsThreeLittleEndianIntegers) {
    dir.WriteBytes("ROM.adr", {0x10, 0x20, 0, 0, 6, 0, 0, 0, 0xF3, 0xFF, 0xFF, 0xFF, 0x99});
    AddressRecord record;
    ASSERT_TRUE(LoadAddressRecord(bench, messages, "ROM.adr", record));
    EXPECT_EQ(record.baseOffset, 0x2010);
    EXPECT_EQ(record.factorA, 6);
    EXPECT_EQ(record.factorB, -13);
}

TEST_F(ImageFile, AnAddressFileCutShortIsAReadProblem) {
    // Two whole values and half of the third.
    dir.WriteBytes("ROM.adr", {0x10, 0, 0, 0, 6, 0, 0, 0, 13, 0});
    AddressRecord record;
    EXPECT_FALSE(LoadAddressRecord(bench, messages, "ROM.adr", record));
    EXPECT_EQ(view.boxes, std::vector<std::string>{"stop Error!!! Problem reading fileROM.adr"});
    EXPECT_EQ(statusText, "\nError!!! Problem reading fileROM.adr");
}

}  // namespace
}  // namespace usbisp::test
