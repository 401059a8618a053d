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

TEST_F(ImageFile, ReadingStopsAtTheCallersLimit) {
    // The Memory Stick loader takes 32,768 bytes at most.
    struct Row {
        std::size_t size;
        RomCodeRead::Outcome outcome;
        std::string box, line;
    };
    const Row rows[] = {
        {32768, RomCodeRead::Outcome::Loaded, "", ""},
        {32769, RomCodeRead::Outcome::TooLarge, "Error!!! File too large !!!, 32769",
         "Error!!! File too large !!!, 32769"},
        {0, RomCodeRead::Outcome::NoData, "Error!!! Problem reading file!!!",
         "Error!!! Problem reading ROM code file!!!"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.size);
        dir.WriteBytes("MS.BIN", std::vector<unsigned char>(row.size, 0x5C));
        const RomCodeRead read = ReadRomCodeFile(bench, "MS.BIN", 0x8000, image);
        EXPECT_EQ(read.outcome, row.outcome);
        EXPECT_EQ(read.length, static_cast<long>(row.size));
        if (read.loaded()) {
            EXPECT_EQ(image.length, row.size);
            continue;
        }
        const RomCodeMessage message = RomCodeReadMessage(read, "MS.BIN");
        EXPECT_EQ(message.box, row.box);
        EXPECT_EQ(message.line, row.line);
    }
    EXPECT_EQ(ReadRomCodeFile(bench, "NONE.BIN", 0x8000, image).outcome,
              RomCodeRead::Outcome::CannotOpen);
    EXPECT_EQ(RomCodeReadMessage({RomCodeRead::Outcome::CannotOpen, -1}, "NONE.BIN").box,
              "Error!!! Can Not Open NONE.BIN ISP Binary ROM Code");
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
