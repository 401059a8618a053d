// SERIAL.TXT: reading, range test, a replacement that never leaves the counter
// in neither file, and a counter that is never handed out twice after a failed
// save.
#include "firmware/serial_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>

#include "firmware_test_support.h"

namespace usbisp::test {
namespace {

constexpr char kCannotOpen[] = "Error!!!  Can Not Open Serial.txt !!!";
constexpr char kNotCorrect[] = "Error!!! CEM,PC,SERIAL Not Correct !!!";
constexpr char kCannotSave[] = "stop nError!!! Cannot save [SERIAL.TXT], program terminate";

using File = std::optional<std::string>;  // nothing: the file does not exist

File Held(const TempDir& dir, const char* name) {
    return dir.Exists(name) ? File(dir.Read(name)) : File();
}

class SerialFile : public ::testing::Test, protected FileBench {
  protected:
    File Get(const char* name) const { return Held(dir, name); }
    bool unsaved = false;
};

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

TEST_F(SerialFile, ReadFailuresEndTheRunWithBoxAndLine) {
    struct Case {
        const char* what;
        File serial;
        File fresh;  // SERIAL.NEW
        std::set<std::string> faults;
        const char* message;
        File serialAfter;
        File freshAfter;
    };
    const Case cases[] = {
        {"no file", {}, {}, {}, kCannotOpen, {}, {}},
        {"station above 0xFF", "0x57 0x100 0x1", {}, {}, kNotCorrect, "0x57 0x100 0x1", {}},
        {"counter above 0xFFFF", "0x57 0x1 0x10000", {}, {}, kNotCorrect, "0x57 0x1 0x10000", {}},
        {"a sign", "0x57 0x1 -0xFFFFFFFF", {}, {}, kNotCorrect, "0x57 0x1 -0xFFFFFFFF", {}},
        {"more than 32 bits",
         "0x57 0x1 0x100000001",
         {},
         {},
         kNotCorrect,
         "0x57 0x1 0x100000001",
         {}},
        {"an empty 0x", "0x57 0x 0x5", {}, {}, kNotCorrect, "0x57 0x 0x5", {}},
        // Only three numbers are a counter: what a power loss or an editor
        // leaves is not taken as zeros or as the values in memory.
        {"an empty file", "", {}, {}, kNotCorrect, "", {}},
        {"other words", "hello", {}, {}, kNotCorrect, "hello", {}},
        {"the counter missing", "0x57 0x1 ", {}, {}, kNotCorrect, "0x57 0x1 ", {}},
        {"two numbers, then words", "0x57 0x1 next", {}, {}, kNotCorrect, "0x57 0x1 next", {}},
        // SERIAL.NEW is no fallback for a SERIAL.TXT that exists.
        {"exists but cannot be opened",
         "0x57 0x1 0x7",
         "0x57 0x1 0x8 ",
         {"read:SERIAL.TXT"},
         kCannotOpen,
         "0x57 0x1 0x7",
         "0x57 0x1 0x8 "},
        // A new file cut short is no counter.
        {"only a torn new file", {}, "0x57 0x1 0x", {}, kCannotOpen, {}, "0x57 0x1 0x"},
        {"only a new file that cannot be renamed",
         {},
         "0x57 0x1 0x8 ",
         {"rename:SERIAL.NEW"},
         kCannotOpen,
         {},
         "0x57 0x1 0x8 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FileBench f;
        if (c.serial) f.dir.Write("SERIAL.TXT", *c.serial);
        if (c.fresh) f.dir.Write("SERIAL.NEW", *c.fresh);
        f.bench.SetFileFaults(c.faults);
        SerialCounter counter;
        EXPECT_FALSE(ReadSerialCounter(f.bench, f.messages, counter));
        EXPECT_EQ(f.view.boxes, std::vector<std::string>{std::string("stop ") + c.message});
        EXPECT_EQ(f.statusText, std::string("\n") + c.message);
        EXPECT_EQ(Held(f.dir, "SERIAL.TXT"), c.serialAfter);
        EXPECT_EQ(Held(f.dir, "SERIAL.NEW"), c.freshAfter);
    }
}

TEST_F(SerialFile, AReplacementStoppedBeforeTheRenameIsFinishedByTheNextRead) {
    dir.Write("SERIAL.NEW", "0x57 0x1 0x8 ");
    SerialCounter counter;
    ASSERT_TRUE(ReadSerialCounter(bench, messages, counter));
    EXPECT_EQ(counter.CNT, 0x8u);
    EXPECT_EQ(Get("SERIAL.TXT"), File("0x57 0x1 0x8 "));
    EXPECT_EQ(Get("SERIAL.NEW"), File());
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(SerialFile, AStaleNewFileBesideTheOldOneIsNotRead) {
    // A replacement that stopped while writing the new file.
    dir.Write("SERIAL.TXT", "0x57 0x1 0x7");
    dir.Write("SERIAL.NEW", "0x57 0x1 0x9 ");
    SerialCounter counter;
    ASSERT_TRUE(ReadSerialCounter(bench, messages, counter));
    EXPECT_EQ(counter.CNT, 0x7u);
}

// Every seam of the store: what it reports and what the two files hold after.
TEST_F(SerialFile, StoreAtEverySeam) {
    struct Case {
        const char* what;
        File serial;
        File fresh;
        std::set<std::string> faults;
        bool stored;
        File serialAfter;
        File freshAfter;
    };
    const Case cases[] = {
        {"sound", "0x11 0x01 0x0123", {}, {}, true, "0x57 0x1 0x8 ", {}},
        {"a stale new file is written over", "0x57 0x1 0x7", "junk", {}, true, "0x57 0x1 0x8 ", {}},
        {"the new file cannot be made",
         "0x57 0x1 0x7",
         {},
         {"write:SERIAL.NEW"},
         false,
         "0x57 0x1 0x7",
         {}},
        {"a full disk", "0x57 0x1 0x7", {}, {"full:SERIAL.NEW"}, false, "0x57 0x1 0x7", {}},
        {"the old file stays",
         "0x57 0x1 0x7",
         {},
         {"remove:SERIAL.TXT"},
         false,
         "0x57 0x1 0x7",
         {}},
        // The counter waits whole in the new file for the next read.
        {"the rename fails", "0x57 0x1 0x7", {}, {"rename:SERIAL.NEW"}, false, {}, "0x57 0x1 0x8 "},
        // An earlier rename failed: that file is the only copy and is finished
        // first, or left alone.
        {"an earlier replacement is finished first",
         {},
         "0x57 0x1 0x7 ",
         {},
         true,
         "0x57 0x1 0x8 ",
         {}},
        {"an earlier replacement still stuck",
         {},
         "0x57 0x1 0x7 ",
         {"rename:SERIAL.NEW"},
         false,
         {},
         "0x57 0x1 0x7 "},
        {"no file at all", {}, {}, {}, true, "0x57 0x1 0x8 ", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FileBench f;
        if (c.serial) f.dir.Write("SERIAL.TXT", *c.serial);
        if (c.fresh) f.dir.Write("SERIAL.NEW", *c.fresh);
        f.bench.SetFileFaults(c.faults);
        EXPECT_EQ(StoreSerialCounter(f.bench, SerialCounter{0x57, 0x1, 0x8}), c.stored);
        EXPECT_EQ(Held(f.dir, "SERIAL.TXT"), c.serialAfter);
        EXPECT_EQ(Held(f.dir, "SERIAL.NEW"), c.freshAfter);
    }
}

TEST_F(SerialFile, AFileFoundUnderAnotherCaseIsWrittenBackUnderItsOwnName) {
    dir.Write("Serial.txt", "0x57 0x2 0x30");
    SerialCounter counter;
    ASSERT_TRUE(ReadSerialCounter(bench, messages, counter));
    EXPECT_EQ(counter.CNT, 0x30u);
    AdvanceAndStoreSerialCounter(bench, view, counter, unsaved);
    EXPECT_FALSE(unsaved);
    EXPECT_EQ(Get("Serial.txt"), File("0x57 0x2 0x31 "));
    EXPECT_EQ(Get("SERIAL.TXT"), File());
    EXPECT_EQ(Get("SERIAL.NEW"), File());
}

TEST_F(SerialFile, AFailedSaveKeepsTheCounterInMemoryUntilASaveSucceeds) {
    dir.Write("SERIAL.TXT", "0x57 0x1 0x7");
    SerialCounter counter;
    ASSERT_TRUE(TakeSerialCounter(bench, messages, counter, unsaved, false));
    bench.SetFileFaults({"write:SERIAL.NEW"});
    AdvanceAndStoreSerialCounter(bench, view, counter, unsaved);
    EXPECT_TRUE(unsaved);
    EXPECT_EQ(counter.CNT, 0x8u);
    EXPECT_EQ(view.boxes, std::vector<std::string>{kCannotSave});

    // The next run would hand out 0x7 again from the file: it is refused
    // while the counter cannot be saved, box only.
    view.boxes.clear();
    EXPECT_FALSE(TakeSerialCounter(bench, messages, counter, unsaved, false));
    EXPECT_EQ(view.boxes, std::vector<std::string>{kCannotSave});
    EXPECT_EQ(statusText, "");
    EXPECT_TRUE(unsaved);

    // A run with a user serial advances nothing: it goes on with the counter
    // in memory and leaves the stale file unread.
    view.boxes.clear();
    EXPECT_TRUE(TakeSerialCounter(bench, messages, counter, unsaved, true));
    EXPECT_EQ(counter.CNT, 0x8u);
    EXPECT_TRUE(view.boxes.empty());

    // Once the disk takes it again, the counter in memory is saved first.
    bench.SetFileFaults({});
    EXPECT_TRUE(TakeSerialCounter(bench, messages, counter, unsaved, false));
    EXPECT_FALSE(unsaved);
    EXPECT_EQ(counter.CNT, 0x8u);
    EXPECT_EQ(Get("SERIAL.TXT"), File("0x57 0x1 0x8 "));
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(SerialFile, ARenameThatFailsShowsTheBoxAndTheNextRunFinishesIt) {
    dir.Write("SERIAL.TXT", "0x57 0x1 0x7");
    SerialCounter counter{0x57, 0x1, 0x7};
    bench.SetFileFaults({"rename:SERIAL.NEW"});
    AdvanceAndStoreSerialCounter(bench, view, counter, unsaved);
    EXPECT_EQ(view.boxes, std::vector<std::string>{kCannotSave});
    EXPECT_TRUE(unsaved);

    bench.SetFileFaults({});
    ASSERT_TRUE(TakeSerialCounter(bench, messages, counter, unsaved, false));
    EXPECT_EQ(counter.CNT, 0x8u);
    EXPECT_EQ(Get("SERIAL.TXT"), File("0x57 0x1 0x8 "));
    EXPECT_EQ(Get("SERIAL.NEW"), File());
}

}  // namespace
}  // namespace usbisp::test
