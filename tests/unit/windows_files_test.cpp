// The program's directory as Windows shows it: names whatever their case, and
// text mode as the Windows C library reads it.
#include "platform/windows_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace usbisp {
namespace {

using test::TempDir;

std::string ReadAll(std::FILE* file) {
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
    std::fclose(file);
    return text;
}

TEST(WindowsTextMode, ReadsAsTheWindowsCLibraryDoes) {
    struct Case {
        std::string raw;
        std::string text;
    };
    const Case cases[] = {
        {"VID = \"058F\";\r\nPID = \"6362\";\r\n", "VID = \"058F\";\nPID = \"6362\";\n"},
        {"a\rb\r", "a\rb\r"},    // a lone carriage return stays
        {"a\r\r\nb", "a\r\nb"},  // only the one before the line feed goes
        {"0x57 0x1 0x8 \x1a\r\ngarbage", "0x57 0x1 0x8 "},  // Ctrl-Z ends the file
        {std::string("a\0b\n", 4), std::string("a\0b\n", 4)},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(WindowsTextModeRead(c.raw), c.text) << c.raw;
}

TEST(WindowsDirectory, FindsANameWhateverItsCaseAndTheExactSpellingFirst) {
    struct Case {
        std::vector<std::string> files;
        const char* wanted;
        std::string found;
    };
    const Case cases[] = {
        {{"Device.txt"}, "DEVICE.TXT", "Device.txt"},
        {{"device.txt", "DEVICE.TXT"}, "DEVICE.TXT", "DEVICE.TXT"},
        {{"device.txt", "Device.TXT"}, "DEVICE.TXT", "Device.TXT"},  // first in byte order
        {{"rom.bin"}, "ROM.BIN", "rom.bin"},
        {{"Zap.biz"}, "zAP.BIZ", "Zap.biz"},  // the letters at both ends of the alphabet
        {{"DEVICE.TXT"}, "SERIAL.TXT", ""},
        {{"DEVICE.TXT"}, "DEVICE.TX", ""},
        {{}, "", ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        for (const std::string& name : c.files) dir.Write(name, name);
        EXPECT_EQ(WindowsDirectory(dir.path()).Find(c.wanted), c.found) << c.wanted;
    }
}

TEST(WindowsDirectory, TextModeReadsTranslatedAndBinaryAsStored) {
    TempDir dir;
    dir.Write("Device.txt",
              "A\r\nB\x1a"
              "C");
    const WindowsDirectory files(dir.path());
    EXPECT_EQ(ReadAll(files.Open("DEVICE.TXT", "r")), "A\nB");
    EXPECT_EQ(ReadAll(files.Open("DEVICE.TXT", "rt")), "A\nB");
    EXPECT_EQ(ReadAll(files.Open("device.txt", "rb")),
              "A\r\nB\x1a"
              "C");
    EXPECT_EQ(files.Open("SERIAL.TXT", "r"), nullptr);
}

TEST(WindowsDirectory, WritesRemovesAndRenamesTheFileFoundNeverATwin) {
    TempDir dir;
    dir.Write("serial.txt", "old");
    const WindowsDirectory files(dir.path());
    std::FILE* file = files.Open("SERIAL.TXT", "w");
    ASSERT_NE(file, nullptr);
    std::fputs("0x57 0x1 0x8 ", file);
    std::fclose(file);
    EXPECT_EQ(dir.Read("serial.txt"), "0x57 0x1 0x8 ");
    EXPECT_FALSE(dir.Exists("SERIAL.TXT"));

    // Rename does not replace a file, whatever the case of its name.
    dir.Write("SERIAL.NEW", "new");
    EXPECT_FALSE(files.Rename("serial.new", "SERIAL.TXT"));
    EXPECT_EQ(dir.Read("serial.txt"), "0x57 0x1 0x8 ");
    EXPECT_TRUE(files.Remove("Serial.Txt"));
    EXPECT_FALSE(dir.Exists("serial.txt"));
    EXPECT_FALSE(files.Remove("SERIAL.TXT"));
    EXPECT_TRUE(files.Rename("serial.new", "serial.txt"));
    EXPECT_EQ(dir.Read("serial.txt"), "new");
    EXPECT_FALSE(dir.Exists("SERIAL.NEW"));
}

}  // namespace
}  // namespace usbisp
