// SERIAL.TXT: reading, range test, and a replacement that never leaves the
// counter in neither file.
#include "firmware/serial_file.h"

#include <gtest/gtest.h>

#include "firmware_test_support.h"

namespace usbisp::test {
namespace {

constexpr char kCannotOpen[] = "Error!!!  Can Not Open Serial.txt !!!";
constexpr char kNotCorrect[] = "Error!!! CEM,PC,SERIAL Not Correct !!!";
constexpr char kCannotSave[] = "stop nError!!! Cannot save [SERIAL.TXT], program terminate";

class SerialFile : public ::testing::Test, protected FileBench {};

TEST_F(SerialFile, ReadReplacesThePrefixAndKeepsTheRest) {
    dir.Write("SERIAL.TXT", "0x11 0x05 0xFFFF");
    SerialCounter counter;
    ASSERT_TRUE(ReadSerialCounter(bench, messages, counter));
    EXPECT_EQ(counter.CEM, 0x57u);
    EXPECT_EQ(counter.PC, 0x05u);
    EXPECT_EQ(counter.CNT, 0xFFFFu);
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_EQ(statusText, "");
}

TEST_F(SerialFile, MissingOrOutOfRangeEndsTheRunWithBoxAndLine) {
    SerialCounter counter;
    EXPECT_FALSE(ReadSerialCounter(bench, messages, counter));
    EXPECT_EQ(view.boxes, std::vector<std::string>{std::string("stop ") + kCannotOpen});
    EXPECT_EQ(statusText, std::string("\n") + kCannotOpen);

    for (const char* text : {"0x57 0x100 0x1", "0x57 0x1 0x10000"}) {
        dir.Write("SERIAL.TXT", text);
        statusText.clear();
        view.boxes.clear();
        EXPECT_FALSE(ReadSerialCounter(bench, messages, counter)) << text;
        EXPECT_EQ(view.boxes, std::vector<std::string>{std::string("stop ") + kNotCorrect});
        EXPECT_EQ(statusText, std::string("\n") + kNotCorrect);
    }
}

TEST_F(SerialFile, StoreWritesTheAdvancedCounterInTheWrittenFormat) {
    dir.Write("SERIAL.TXT", "0x11 0x05 0xFFFF");
    SerialCounter counter{0x57, 0x05, 0xFFFF};
    AdvanceAndStoreSerialCounter(bench, view, counter);
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x5 0x0 ");
    EXPECT_FALSE(dir.Exists("SERIAL.NEW"));
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(SerialFile, ANewFileThatCannotBeWrittenLeavesTheOldOne) {
    dir.Write("SERIAL.TXT", "0x57 0x1 0x7");
    bench.SetFileFaults({"write:SERIAL.NEW"});
    SerialCounter counter{0x57, 0x1, 0x7};
    AdvanceAndStoreSerialCounter(bench, view, counter);
    EXPECT_EQ(view.boxes, std::vector<std::string>{kCannotSave});
    EXPECT_EQ(counter.CNT, 0x8u);  // in memory only
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x1 0x7");
}

TEST_F(SerialFile, AnOldFileThatCannotBeRemovedStaysInForce) {
    dir.Write("SERIAL.TXT", "0x57 0x1 0x7");
    bench.SetFileFaults({"remove:SERIAL.TXT"});
    SerialCounter counter{0x57, 0x1, 0x7};
    AdvanceAndStoreSerialCounter(bench, view, counter);
    EXPECT_EQ(view.boxes, std::vector<std::string>{kCannotSave});
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x1 0x7");
    EXPECT_FALSE(dir.Exists("SERIAL.NEW"));
}

TEST_F(SerialFile, AReplacementStoppedBeforeTheRenameIsFinishedByTheNextRead) {
    dir.Write("SERIAL.TXT", "0x57 0x1 0x7");
    bench.SetFileFaults({"rename:SERIAL.NEW"});
    SerialCounter counter{0x57, 0x1, 0x7};
    AdvanceAndStoreSerialCounter(bench, view, counter);
    EXPECT_FALSE(dir.Exists("SERIAL.TXT"));
    EXPECT_EQ(dir.Read("SERIAL.NEW"), "0x57 0x1 0x8 ");

    bench.SetFileFaults({});
    SerialCounter fresh;
    ASSERT_TRUE(ReadSerialCounter(bench, messages, fresh));
    EXPECT_EQ(fresh.CNT, 0x8u);
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x1 0x8 ");
    EXPECT_FALSE(dir.Exists("SERIAL.NEW"));
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(SerialFile, AStaleNewFileBesideTheOldOneIsNotRead) {
    // A replacement that stopped while writing the new file.
    dir.Write("SERIAL.TXT", "0x57 0x1 0x7");
    dir.Write("SERIAL.NEW", "0x57 0x1 0x");
    SerialCounter counter;
    ASSERT_TRUE(ReadSerialCounter(bench, messages, counter));
    EXPECT_EQ(counter.CNT, 0x7u);
    AdvanceAndStoreSerialCounter(bench, view, counter);
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x1 0x8 ");
    EXPECT_FALSE(dir.Exists("SERIAL.NEW"));
}

}  // namespace
}  // namespace usbisp::test
