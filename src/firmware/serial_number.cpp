#include "firmware/serial_number.h"

#include <cctype>
#include <cstdio>

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

// One "%x" conversion: white space, an optional sign, an optional 0x, then
// hexadecimal digits. Too large a value saturates as strtoul does, so that the
// range test refuses it instead of a wrapped value slipping through.
bool ScanHex(std::string_view text, std::size_t& pos, std::uint32_t& value) {
    while (pos < text.size() && IsSpace(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos + 2 < text.size() && text[pos] == '0' &&
        (text[pos + 1] == 'x' || text[pos + 1] == 'X') && HexValue(text[pos + 2]) >= 0)
        pos += 2;
    if (pos >= text.size() || HexValue(text[pos]) < 0) return false;
    std::uint64_t result = 0;
    for (; pos < text.size() && HexValue(text[pos]) >= 0; ++pos) {
        result = result * 16 + static_cast<std::uint64_t>(HexValue(text[pos]));
        if (result > 0xFFFFFFFFu) result = 0x100000000u;
    }
    std::uint32_t narrow = result > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(result);
    value = negative ? 0u - narrow : narrow;
    return true;
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

void ParseSerialText(std::string_view text, SerialCounter& counter) {
    std::size_t pos = 0;
    for (std::uint32_t* field : {&counter.CEM, &counter.PC, &counter.CNT})
        if (!ScanHex(text, pos, *field)) return;
}

std::string FormatSerialText(const SerialCounter& counter) {
    char text[48];
    std::snprintf(text, sizeof text, "0x%x 0x%x 0x%x ", counter.CEM, counter.PC, counter.CNT);
    return text;
}

bool SerialCounterInRange(const SerialCounter& counter) {
    return counter.PC <= 0xFF && counter.CNT <= 0xFFFF;
}

void AdvanceSerialCounter(SerialCounter& counter) {
    counter.CNT = counter.CNT + 1;
    if (counter.CNT > 0xFFFF) counter.CNT = 0;
}

}  // namespace usbisp
