// The kinds of value the bench file's keys hold, each read and checked in one
// place; a wrong value fails with the key path (bench_keys.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/bench_keys.h"

namespace usbisp::sim {

std::string String(const json& value, const std::string& key);
// A string of at most `max` characters.
std::string Text(const json& value, const std::string& key, std::size_t max);
// A string of at most `width` characters, space-padded to `width`.
std::string Padded(const json& value, const std::string& key, std::size_t width);
bool Boolean(const json& value, const std::string& key);

// Hexadecimal bytes, blanks between them allowed: "01 02 0a".
std::vector<std::uint8_t> HexBytes(const std::string& text, const std::string& key);
// A revision field of at most `max` bytes.
std::vector<std::uint8_t> Revision(const json& value, const std::string& key, std::size_t max);
// Exactly 4 hex digits, most significant first.
std::uint16_t Hex16(const json& value, const std::string& key);
std::uint8_t HexByte(const json& value, const std::string& key);

// `min` to `max` drive letters, upper-cased.
std::string Letters(const json& value, const std::string& key, std::size_t min, std::size_t max);
// A wait of the bench: 0 ms to an hour.
int Milliseconds(const json& value, const std::string& key);

// The n of "Name#n": 1 or more.
bool IsCount(const std::string& count);
// The names of the operations `fits` accepts, in the table's order, as
// "(Open, Inquiry, ...)": what an error about an unknown name offers instead.
std::string OperationNames(bool (*fits)(std::string_view name));
// "Name" or "Name#n" with n >= 1, Name a request that reaches a reader.
void CheckRequestName(const std::string& name, const std::string& key, bool needCount);

}  // namespace usbisp::sim
