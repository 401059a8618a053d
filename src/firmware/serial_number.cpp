#include "firmware/serial_number.h"

#include <cctype>
#include <cstdio>

#include "platform/printf_text.h"

namespace usbisp {

namespace {

char HexDigit(std::uint32_t value) {
    return "0123456789ABCDEF"[value & 0xF];
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

enum class HexScan { Value, Malformed, None };

// One "%x" conversion: white space, an optional 0x, then hexadecimal digits.
// A spelling that "%x" reads as some number but that no counter is written
// with (a sign, a 0x without digits, more than 32 bits) is malformed: a wrapped
// or made-up value must not reach the range test as if it were sound.
HexScan ScanHex(std::string_view text, std::size_t& pos, std::uint32_t& value) {
    while (pos < text.size() && IsSpace(text[pos])) ++pos;
    if (pos >= text.size()) return HexScan::None;
    if (text[pos] == '+' || text[pos] == '-') return HexScan::Malformed;
    if (pos + 1 < text.size() && text[pos] == '0' &&
        (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
        pos += 2;
        if (pos >= text.size() || HexValue(text[pos]) < 0) return HexScan::Malformed;
    }
    if (HexValue(text[pos]) < 0) return HexScan::None;
    std::uint64_t result = 0;
    bool overflow = false;
    for (; pos < text.size() && HexValue(text[pos]) >= 0; ++pos) {
        result = result * 16 + static_cast<std::uint64_t>(HexValue(text[pos]));
        if (result > 0xFFFFFFFFu) {
            overflow = true;
            result = 0;
        }
    }
    if (overflow) return HexScan::Malformed;
    value = static_cast<std::uint32_t>(result);
    return HexScan::Value;
}

}  // namespace

SerialNumber BuildSerialNumber(const SerialCounter& counter, const LocalTime& date) {
    const std::uint32_t yy = static_cast<std::uint8_t>(date.year - 2000);
    const std::uint32_t month = date.month;
    const std::uint32_t day = date.day;
    SerialNumber serial{};
    serial[0] = HexDigit(counter.CEM >> 4);
    serial[1] = HexDigit(counter.CEM);
    serial[2] = HexDigit(yy);
    serial[3] = HexDigit(month);
    // The decade's high bits and the day's bit 4 share one digit.
    serial[4] = HexDigit(2 * (yy >> 4) + ((day >> 4) & 1));
    serial[5] = HexDigit(day);
    serial[6] = HexDigit(counter.PC >> 4);
    serial[7] = HexDigit(counter.PC);
    serial[8] = HexDigit(counter.CNT >> 12);
    serial[9] = HexDigit(counter.CNT >> 8);
    serial[10] = HexDigit(counter.CNT >> 4);
    serial[11] = HexDigit(counter.CNT);
    return serial;
}

SerialDescriptor BuildSerialDescriptor(const SerialNumber& serial) {
    SerialDescriptor descriptor{};
    descriptor[0] = static_cast<std::uint8_t>(kSerialDescriptorSize);
    descriptor[1] = 3;  // STRING
    for (std::size_t i = 0; i < kSerialLength; ++i) {
        descriptor[2 + 2 * i] = static_cast<std::uint8_t>(serial[i]);
        descriptor[3 + 2 * i] = 0;
    }
    return descriptor;
}

bool ParseSerialText(std::string_view text, SerialCounter& counter) {
    std::size_t pos = 0;
    for (std::uint32_t* field : {&counter.CEM, &counter.PC, &counter.CNT}) {
        const HexScan scan = ScanHex(text, pos, *field);
        // A counter is three numbers: a file cut short, empty or of other
        // words holds none, and taken as it stood it would give the numbers
        // of the values in memory (zeros at first) a second time.
        if (scan != HexScan::Value) return false;
    }
    return true;
}

bool IsWholeSerialText(std::string_view text) {
    SerialCounter counter;
    return ParseSerialText(text, counter) && FormatSerialText(counter) == text;
}

std::string FormatSerialText(const SerialCounter& counter) {
    return Printf("0x%x 0x%x 0x%x ", counter.CEM, counter.PC, counter.CNT);
}

bool SerialCounterInRange(const SerialCounter& counter) {
    return counter.PC <= 0xFF && counter.CNT <= 0xFFFF;
}

void AdvanceSerialCounter(SerialCounter& counter) {
    counter.CNT = counter.CNT + 1;
    if (counter.CNT > 0xFFFF) counter.CNT = 0;
}

}  // namespace usbisp
