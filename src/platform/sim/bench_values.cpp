#include "platform/sim/bench_values.h"

#include <algorithm>
#include <cctype>

#include "emulator/operations.h"

namespace usbisp::sim {

void Fail(const std::string& key, const std::string& what) {
    throw BenchError{"key \"" + key + "\": " + what};
}

std::string String(const json& value, const std::string& key) {
    if (!value.is_string()) Fail(key, "must be a string");
    return value.get<std::string>();
}

std::string Text(const json& value, const std::string& key, std::size_t max) {
    std::string text = String(value, key);
    if (text.size() > max) Fail(key, "longer than its field (" + std::to_string(max) + ")");
    return text;
}

std::string Padded(const json& value, const std::string& key, std::size_t width) {
    std::string text = Text(value, key, width);
    text.resize(width, ' ');
    return text;
}

bool Boolean(const json& value, const std::string& key) {
    if (!value.is_boolean()) Fail(key, "must be true or false");
    return value.get<bool>();
}

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::vector<std::uint8_t> HexBytes(const std::string& text, const std::string& key) {
    std::vector<std::uint8_t> bytes;
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == '\t') continue;
        if (HexDigit(c) < 0) Fail(key, "not hexadecimal");
        digits += c;
    }
    if (digits.size() % 2 != 0) Fail(key, "odd number of hex digits");
    for (std::size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(
            static_cast<std::uint8_t>(HexDigit(digits[i]) * 16 + HexDigit(digits[i + 1])));
    return bytes;
}

std::vector<std::uint8_t> Revision(const json& value, const std::string& key, std::size_t max) {
    auto bytes = HexBytes(String(value, key), key);
    if (bytes.size() > max) Fail(key, "longer than its field (" + std::to_string(max) + " bytes)");
    return bytes;
}

std::uint16_t Hex16(const json& value, const std::string& key) {
    const std::string text = String(value, key);
    if (text.size() != 4) Fail(key, "must be 4 hex digits");
    auto bytes = HexBytes(text, key);
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

std::uint8_t HexByte(const json& value, const std::string& key) {
    auto bytes = HexBytes(String(value, key), key);
    if (bytes.size() != 1) Fail(key, "must be one byte in hex");
    return bytes[0];
}

std::string Letters(const json& value, const std::string& key, std::size_t min, std::size_t max) {
    std::string letters = String(value, key);
    if (letters.size() < min || letters.size() > max)
        Fail(key,
             "must hold " + std::to_string(min) + " to " + std::to_string(max) + " drive letters");
    for (char& c : letters) {
        if (!std::isalpha(static_cast<unsigned char>(c))) Fail(key, "not a drive letter");
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return letters;
}

int Milliseconds(const json& value, const std::string& key) {
    if (!value.is_number_integer() || value.get<long long>() < 0 ||
        value.get<long long>() > 3600000)
        Fail(key, "must be milliseconds, 0 to 3600000");
    return value.get<int>();
}

bool IsCount(const std::string& count) {
    return !count.empty() && count.size() <= 6 &&
           std::all_of(count.begin(), count.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
           std::stoi(count) >= 1;
}

std::string OperationNames(bool (*fits)(std::string_view name)) {
    // The operation table ends where a number has no name.
    std::string names;
    for (int i = 0; *OperationName(static_cast<Operation>(i)) != '\0'; ++i) {
        const char* name = OperationName(static_cast<Operation>(i));
        if (!fits(name)) continue;
        names += (names.empty() ? "(" : ", ") + std::string(name);
    }
    return names + ")";
}

void CheckRequestName(const std::string& name, const std::string& key, bool needCount) {
    const auto hash = name.find('#');
    const std::string op = name.substr(0, hash);
    if (!IsFailureOperation(op))
        Fail(key, "unknown operation \"" + op + "\" " + OperationNames(IsFailureOperation));
    if (hash == std::string::npos) {
        if (needCount) Fail(key, "\"" + name + "\" needs a request number (Name#n)");
        return;
    }
    if (!IsCount(name.substr(hash + 1)))
        Fail(key, "\"" + name + "\": the request number must be 1 or more");
}

}  // namespace usbisp::sim
