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

TEST(SerialText, AnOverlongValueSaturatesSoTheRangeTestRefusesIt) {
    SerialCounter c;
    ParseSerialText("0x57 0x1 0x1000000000", c);
    EXPECT_EQ(c.CNT, 0xFFFFFFFFu);
    EXPECT_FALSE(SerialCounterInRange(c));
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
