// How the bench file is read: each of its objects is a table from key to the
// rule that reads that key's value, so that a key is named in one place. The
// table refuses any key it does not hold, then reads the keys it holds in its
// own order (a later key may depend on an earlier one); the first error ends
// the reading. The same tables list every key path the reader accepts.
#pragma once

#include <algorithm>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <vector>

#include "platform/sim/bench_config.h"

namespace usbisp::sim {

using nlohmann::json;

// A bench file error: the key path and what is wrong.
struct BenchError {
    std::string message;
};

[[noreturn]] void Fail(const std::string& key, const std::string& what);

// One key of an object, read into a `Target`.
template <typename Target>
struct KeyRule {
    const char* name;
    // Reads the key's value, found at `path`, into `into`; fails with
    // BenchError.
    void (*read)(const json& value, const std::string& path, Target& into);
    // The key paths under it, relative to it ("vendor", "[].letters"): for an
    // object, or a list of objects, whose keys have a table of their own.
    std::vector<std::string> (*below)() = nullptr;
    // A key that must be there: what is wrong when it is not.
    const char* missing = nullptr;
};

template <typename Target>
using KeyTable = std::span<const KeyRule<Target>>;

// "where.key", or "key" at the top.
inline std::string KeyPath(const std::string& where, const std::string& key) {
    return where.empty() ? key : where + "." + key;
}

// Reads the object at `where` with its table.
template <typename Target>
void ReadObject(const json& object, const std::string& where, KeyTable<Target> table,
                Target& into) {
    if (!object.is_object()) Fail(where, "must be an object");
    for (auto it = object.begin(); it != object.end(); ++it) {
        const bool known =
            std::any_of(table.begin(), table.end(),
                        [&](const KeyRule<Target>& rule) { return it.key() == rule.name; });
        if (!known) Fail(KeyPath(where, it.key()), "unknown key");
    }
    for (const KeyRule<Target>& rule : table) {
        const auto found = object.find(rule.name);
        if (found != object.end()) {
            rule.read(*found, KeyPath(where, rule.name), into);
        } else if (rule.missing) {
            Fail(KeyPath(where, rule.name), rule.missing);
        }
    }
}

// Every key path of a table, relative to the object it reads: each key, and
// under it the paths of its own table.
template <typename Target>
std::vector<std::string> KeyPaths(KeyTable<Target> table) {
    std::vector<std::string> paths;
    for (const KeyRule<Target>& rule : table) {
        paths.push_back(rule.name);
        if (!rule.below) continue;
        for (const std::string& under : rule.below())
            paths.push_back(std::string(rule.name) + (under.front() == '[' ? "" : ".") + under);
    }
    return paths;
}

// The sections of the bench file, each in a file of its own.

// A reader of `readers` at `path`; "@FILE" firmware is read from `baseDir`
// (bench_reader_keys.cpp).
ReaderConfig ReadReader(const json& value, const std::string& path, const std::string& baseDir);
std::vector<std::string> ReaderKeyPaths();

// The machine's "aspi": {"adapters": n, ...}, or false (bench_aspi_keys.cpp).
void ReadAspi(const json& value, const std::string& path, BenchConfig& config);
std::vector<std::string> AspiKeyPaths();

// What no single key can check: letters and ASPI addresses used twice, a swap
// of readers the bench has not (bench_checks.cpp).
void CheckAcrossFields(const BenchConfig& config);

}  // namespace usbisp::sim
