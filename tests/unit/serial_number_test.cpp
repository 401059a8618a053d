// Serial numbers, their descriptor and the text of SERIAL.TXT.
#include "firmware/serial_number.h"

#include <gtest/gtest.h>

#include <string>

namespace usbisp {
namespace {

LocalTime Date(int year, int month, int day) {
    LocalTime t;
    t.year = static_cast<std::uint16_t>(year);
    t.month = static_cast<std::uint16_t>(month);
    t.day = static_cast<std::uint16_t>(day);
    return t;
}

std::string Text(const SerialNumber& serial) {
    return std::string(serial.begin(), serial.end());
}

TEST(SerialNumber, PacksPrefixDateStationAndCounter) {
    EXPECT_EQ(Text(BuildSerialNumber({0x57, 0x01, 0x0123}, Date(2003, 11, 18))), "573B12010123");
    EXPECT_EQ(Text(BuildSerialNumber({0x57, 0x05, 0xFFFF}, Date(2003, 1, 1))),
              "573101"
              "05FFFF");
    EXPECT_EQ(Text(BuildSerialNumber({0x57, 0xAB, 0x00CD}, Date(2009, 12, 31))), "579C1FAB00CD");
}

TEST(SerialNumber, DayBitFourAndTheDecadeShareTheFifthCharacter) {
    EXPECT_EQ(BuildSerialNumber({0x57, 0, 0}, Date(2003, 5, 15))[4], '0');
    EXPECT_EQ(BuildSerialNumber({0x57, 0, 0}, Date(2003, 5, 16))[4], '1');
    // 2016: yy = 0x10, so its high four bits add 2.
    EXPECT_EQ(Text(BuildSerialNumber({0x57, 0, 0}, Date(2016, 3, 1))).substr(2, 4), "0321");
    EXPECT_EQ(Text(BuildSerialNumber({0x57, 0, 0}, Date(2016, 3, 17))).substr(2, 4), "0331");
}

TEST(SerialDescriptor, IsAUsbStringDescriptorOfTwelveCharacters) {
    const SerialDescriptor d =
        BuildSerialDescriptor(BuildSerialNumber({0x57, 0x01, 0x0123}, Date(2003, 11, 18)));
    const SerialDescriptor expected = {0x1A, 0x03, '5', 0, '7', 0, '3', 0, 'B', 0, '1', 0, '2', 0,
                                       '0',  0,    '1', 0, '0', 0, '1', 0, '2', 0, '3', 0};
    EXPECT_EQ(d, expected);
}

TEST(SerialText, ReadsThreeHexNumbersWithOrWithoutPrefix) {
    SerialCounter c;
    ParseSerialText("0x11 0x05 0xFFFF", c);
    EXPECT_EQ(c.CEM, 0x11u);
    EXPECT_EQ(c.PC, 0x05u);
    EXPECT_EQ(c.CNT, 0xFFFFu);
    ParseSerialText("57\n\t1 aB ", c);
    EXPECT_EQ(c.CEM, 0x57u);
    EXPECT_EQ(c.PC, 0x1u);
    EXPECT_EQ(c.CNT, 0xABu);
    ParseSerialText("0X57 0x100 0", c);
    EXPECT_EQ(c.PC, 0x100u);
    EXPECT_EQ(c.CNT, 0u);
}

TEST(SerialText, AValueThatDoesNotParseKeepsItAndTheRestAsInMemory) {
    SerialCounter c{0x57, 0x02, 0x0300};
    ParseSerialText("", c);
    EXPECT_EQ(c.CEM, 0x57u);
    EXPECT_EQ(c.PC, 0x02u);
    EXPECT_EQ(c.CNT, 0x0300u);
    ParseSerialText("0x40 zz 0x9", c);
    EXPECT_EQ(c.CEM, 0x40u);
    EXPECT_EQ(c.PC, 0x02u);
    EXPECT_EQ(c.CNT, 0x0300u);
}

// Spellings "%x" would turn into some number that no counter file holds: a
// sign (-FFFFFFFF would wrap to 1), more than 32 bits, a 0x without digits.
// The scan stops there and reports it, so that the read refuses the file.
TEST(SerialText, MalformedValuesAreReportedAndNotStored) {
    struct Case {
        const char* text;
        SerialCounter after;  // from {1, 2, 3}
    };
    const Case cases[] = {
        {"0x57 0x1 -FFFFFFFF", {0x57, 0x1, 3}},
        {"0x57 0x1 +5", {0x57, 0x1, 3}},
        {"-57 0x1 0x5", {1, 2, 3}},
        {"0x57 0x1 0x1000000000", {0x57, 0x1, 3}},
        {"0x57 0x1 100000001", {0x57, 0x1, 3}},
        {"0x57 0x 0x5", {0x57, 2, 3}},
        {"0x57 0x1 0x", {0x57, 0x1, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        SerialCounter counter{1, 2, 3};
        EXPECT_FALSE(ParseSerialText(c.text, counter));
        EXPECT_EQ(counter.CEM, c.after.CEM);
        EXPECT_EQ(counter.PC, c.after.PC);
        EXPECT_EQ(counter.CNT, c.after.CNT);
    }
    SerialCounter counter;
    EXPECT_TRUE(ParseSerialText("0x57 0x1 0x00000000FFFF", counter)) << "leading zeros fit";
    EXPECT_EQ(counter.CNT, 0xFFFFu);
}

TEST(SerialText, OnlyTheWrittenFormatIsAWholeFile) {
    EXPECT_TRUE(IsWholeSerialText("0x57 0x1 0x8 "));
    EXPECT_TRUE(IsWholeSerialText("0x57 0xff 0xffff "));
    for (const char* text : {"", "0x57 0x1 0x", "0x57 0x1 0x8", "0x57 0x1 ", "0x57 0x01 0x8 ",
                             "0x57 0x1 0X8 ", "0x57 0x1 0x8 \n"})
        EXPECT_FALSE(IsWholeSerialText(text)) << text;
}

TEST(SerialText, IsWrittenLowerCaseWithPrefixesAndTrailingBlank) {
    EXPECT_EQ(FormatSerialText({0x57, 0x5, 0x0}), "0x57 0x5 0x0 ");
    EXPECT_EQ(FormatSerialText({0x57, 0xAB, 0xBEEF}), "0x57 0xab 0xbeef ");
}

TEST(SerialCounter, RangesAndWrap) {
    EXPECT_TRUE(SerialCounterInRange({0x57, 0xFF, 0xFFFF}));
    EXPECT_FALSE(SerialCounterInRange({0x57, 0x100, 0}));
    EXPECT_FALSE(SerialCounterInRange({0x57, 0, 0x10000}));
    SerialCounter c{0x57, 1, 0xFFFE};
    AdvanceSerialCounter(c);
    EXPECT_EQ(c.CNT, 0xFFFFu);
    AdvanceSerialCounter(c);
    EXPECT_EQ(c.CNT, 0u);
}

}  // namespace
}  // namespace usbisp
