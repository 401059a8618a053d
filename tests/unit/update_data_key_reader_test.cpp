// Looking keys up in DEVICE.TXT, and the hexadecimal pair helper.
#include <string>
#include <vector>

#include "update_data_fixture.h"

namespace usbisp::testing {
namespace {

class KeyReaderTest : public DeviceFileTest {
  protected:
    int Read(const char* key, int maxLength) {
        return ReadKeyValue(bench(), reader, key, maxLength);
    }
};

TEST_F(KeyReaderTest, SoundEntryGivesSemicolonPositionAndValue) {
    WriteDeviceFile("VID = \"058F\";\r\nPID = \"6362\";\r\n");
    EXPECT_EQ(Read("VID", 4), 7);
    EXPECT_EQ(reader.keyFound, 1);
    EXPECT_EQ(reader.word[0], '"');
    EXPECT_EQ(Value(7), "058F");

    EXPECT_EQ(Read("PID", 4), 7);
    EXPECT_EQ(Value(7), "6362");
}

TEST_F(KeyReaderTest, MissingFileGivesOne) {
    reader.keyFound = 1;
    EXPECT_EQ(Read("VID", 4), 1);
    EXPECT_EQ(reader.keyFound, 0);
}

TEST_F(KeyReaderTest, LongestAcceptedValueAndOneMore) {
    const std::string longest(24, 'M');
    WriteDeviceFile("String_Manufacture = \"" + longest + "\";\n");
    EXPECT_EQ(Read("String_Manufacture", 24), 27);
    EXPECT_EQ(Value(27), longest);

    WriteDeviceFile("String_Manufacture = \"" + longest + "N\";\n");
    EXPECT_EQ(Read("String_Manufacture", 24), 0);
    EXPECT_EQ(reader.keyFound, 0);
}

TEST_F(KeyReaderTest, DeviceSettingFillsTheWordBufferExactly) {
    const std::string longest(256, '1');
    WriteDeviceFile("Device_setting = \"" + longest + "\";\nVID = \"1234\";\n");
    EXPECT_EQ(Read("Device_setting", 256), 259);
    EXPECT_EQ(Value(259), longest);

    // The same with a blank inside: the rest of the value comes character by
    // character and must still fit.
    const std::string spaced = std::string(128, '1') + " " + std::string(127, '2');
    WriteDeviceFile("Device_setting = \"" + spaced + "\";\n");
    EXPECT_EQ(Read("Device_setting", 256), 259);
    EXPECT_EQ(Value(259), spaced);

    WriteDeviceFile("Device_setting = \"" + longest + "1\";\nVID = \"1234\";\n");
    EXPECT_EQ(Read("Device_setting", 256), 0);
    EXPECT_EQ(reader.keyFound, 0);
    EXPECT_EQ(Read("VID", 4), 7);

    WriteDeviceFile("Device_setting = \"" + spaced + "1\";\n");
    EXPECT_EQ(Read("Device_setting", 256), 0);
    EXPECT_EQ(reader.keyFound, 0);
}

TEST_F(KeyReaderTest, OverlongWordsAreRefusedWholeAndNeverSplit) {
    // Cut at the buffer's end, the tail of this word would read as "VID".
    WriteDeviceFile(std::string(259, 'a') + "VID = \"1234\";\n");
    EXPECT_EQ(Read("VID", 4), 0);

    // An overlong value is refused; the words after it are read as written.
    WriteDeviceFile("String_Product = \"" + std::string(400, 'p') + "\";\nVID = \"1234\";\n");
    EXPECT_EQ(Read("String_Product", 24), 0);
    EXPECT_EQ(Read("VID", 4), 7);

    WriteDeviceFile("String_Product = \"a " + std::string(400, 'p') + "\";\n");
    EXPECT_EQ(Read("String_Product", 24), 0);
    EXPECT_EQ(reader.keyFound, 0);
}

TEST_F(KeyReaderTest, QuotedValueKeepsItsWhiteSpace) {
    WriteDeviceFile("String_Product = \"USB  Card\tReader\";\n");
    EXPECT_EQ(Read("String_Product", 24), 19);
    EXPECT_EQ(Value(19), "USB  Card\tReader");

    WriteDeviceFile("String_Product = \" lead\";\n");
    EXPECT_EQ(Read("String_Product", 24), 8);
    EXPECT_EQ(Value(8), " lead");

    WriteDeviceFile("String_Product = \"two\nlines\";\n");
    EXPECT_EQ(Read("String_Product", 24), 12);
    EXPECT_EQ(Value(12), "two\nlines");
}

TEST_F(KeyReaderTest, EmptyValueGivesTwoAndIsRefused) {
    WriteDeviceFile("String_Product = \"\";\n");
    EXPECT_EQ(Read("String_Product", 24), 2);
    EXPECT_EQ(reader.keyFound, 0);
}

TEST_F(KeyReaderTest, MalformedEntriesAreRefused) {
    const std::vector<std::string> files = {
        "String_Product = \"abc\" ;\n",                // blank before the semicolon
        "String_Product = \"a bc\" ;\n",               // the same after an inner blank
        "String_Product=\"abc\";\n",                   // no blanks around "="
        "String_Product =\"abc\";\n",                  //
        "String_Product : \"abc\";\n",                 // no "=" word
        "String_Product = abc;\n",                     // no opening quote
        "String_Product = a\"bc\";\n",                 // quote not first
        "String_Product = \"abc\"\n",                  // no semicolon
        "String_Product = \"abc\"x;\n",                // stray character before the semicolon
        "String_Product = \"abc;\nVID = \"1234\";\n",  // no closing quote
        "String_Product = \"abc def",                  // file ends inside the value
        "String_Product =",                            // file ends before the value
        "String_Product",                              // file ends after the key
        "string_product = \"abc\";\n",                 // keys are case-sensitive
    };
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        WriteDeviceFile(file);
        reader.keyFound = 1;
        const int result = Read("String_Product", 24);
        EXPECT_EQ(reader.keyFound, 0);
        EXPECT_NE(result, 1);
    }
}

TEST_F(KeyReaderTest, FirstMatchingWordWinsAndCommentsAreSkipped) {
    WriteDeviceFile(
        "# identity data for line 3, \"quoted\" words; ignored = yes\n"
        "VIDS = \"9999\";\n"
        "VID = \"1111\"; // first\n"
        "VID = \"2222\";\n");
    EXPECT_EQ(Read("VID", 4), 7);
    EXPECT_EQ(Value(7), "1111");

    // A comment word equal to a key is that key's first occurrence.
    WriteDeviceFile("note: VID follows\nVID = \"1111\";\n");
    EXPECT_EQ(Read("VID", 4), 0);
    EXPECT_EQ(reader.keyFound, 0);
}

TEST_F(KeyReaderTest, EveryLookupOpensAndClosesTheFileOnce) {
    const std::vector<std::string> files = {
        "VID = \"1234\";\n",
        "",
        "VID = \"\";\n",
        "VID = \"12345\";\n",
        "VID = \"12",
        "VID = \"1 " + std::string(300, '2'),
        std::string(300, 'w') + " VID",
    };
    int lookups = 0;
    for (const std::string& file : files) {
        WriteDeviceFile(file);
        Read("VID", 4);
        Read("PID", 4);
        lookups += 2;
    }
    EXPECT_EQ(bench().counts.opens, lookups);
    EXPECT_EQ(bench().counts.closes, lookups);
}

TEST(HexPairToByte, DigitsOfEitherCaseAndOthersCountZero) {
    EXPECT_EQ(HexPairToByte('0', '0'), 0x00);
    EXPECT_EQ(HexPairToByte('9', 'A'), 0x9A);
    EXPECT_EQ(HexPairToByte('f', 'F'), 0xFF);
    EXPECT_EQ(HexPairToByte('a', '7'), 0xA7);
    EXPECT_EQ(HexPairToByte('G', '1'), 0x01);
    EXPECT_EQ(HexPairToByte('1', 'g'), 0x10);
    EXPECT_EQ(HexPairToByte('"', ';'), 0x00);
    EXPECT_EQ(HexPairToByte('/', ':'), 0x00);
}

}  // namespace
}  // namespace usbisp::testing
