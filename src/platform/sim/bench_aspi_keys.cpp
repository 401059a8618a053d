// The ASPI keys of the bench file: the machine's "aspi" object.
#include <array>

#include "platform/sim/bench_keys.h"
#include "platform/sim/bench_values.h"

namespace usbisp::sim {

namespace {

using Rule = KeyRule<BenchConfig>;

constexpr const char* kAdapters = "must be a number of host adapters, 0 to 8";
constexpr const char* kSwap = "must be {\"after\": n, \"readers\": [i, j]}";
constexpr const char* kCalls = "(LoadLibrary, GetASPI32SupportInfo)";

// "swap" is checked whole: its keys are read as they come, then judged
// together.
struct SwapDraft {
    json after;
    json readers;
};

constexpr std::array<KeyRule<SwapDraft>, 2> kSwapKeys = {{
    {"after", [](const json& v, const std::string&, SwapDraft& s) { s.after = v; }},
    {"readers", [](const json& v, const std::string&, SwapDraft& s) { s.readers = v; }},
}};

void ReadSwap(const json& value, const std::string& key, BenchConfig& config) {
    if (!value.is_object()) Fail(key, kSwap);
    SwapDraft swap;
    ReadObject<SwapDraft>(value, key, kSwapKeys, swap);
    const json& r = swap.readers;
    if (!swap.after.is_number_integer() || swap.after.get<int>() < 1 || !r.is_array() ||
        r.size() != 2 || !r[0].is_number_integer() || !r[1].is_number_integer())
        Fail(key, kSwap);
    config.aspiSwap = AspiSwap{swap.after.get<int>(), r[0].get<int>(), r[1].get<int>()};
}

void ReadFailures(const json& value, const std::string& key, BenchConfig& config) {
    if (!value.is_array()) Fail(key, std::string("must be a list of calls ") + kCalls);
    for (const json& name : value) {
        const std::string n = String(name, key);
        const auto hash = n.find('#');
        const std::string call = n.substr(0, hash);
        if (call != "LoadLibrary" && call != "GetASPI32SupportInfo")
            Fail(key, "unknown call \"" + call + "\" " + kCalls);
        if (hash != std::string::npos && !IsCount(n.substr(hash + 1)))
            Fail(key, "\"" + n + "\": the call number must be 1 or more");
        config.aspiFailures.push_back(n);
    }
}

constexpr std::array<Rule, 7> kAspiKeys = {{
    {"adapters",
     [](const json& v, const std::string& k, BenchConfig& c) {
         if (!v.is_number_integer() || v.get<int>() < 0 || v.get<int>() > 8) Fail(k, kAdapters);
         c.aspiAdapters = v.get<int>();
     },
     nullptr, kAdapters},
    {"latency", [](const json& v, const std::string& k,
                   BenchConfig& c) { c.aspiLatency = Milliseconds(v, k); }},
    {"state",
     [](const json& v, const std::string& k, BenchConfig& c) {
         if (!v.is_number_integer() || v.get<int>() < 0 || v.get<int>() > 255)
             Fail(k, "must be a status byte, 0 to 255");
         c.aspiState = v.get<int>();
     }},
    {"missing",
     [](const json& v, const std::string& k, BenchConfig& c) {
         if (!v.is_array()) Fail(k, "must be a list of entry point names");
         for (const json& name : v) {
             const std::string n = String(name, k);
             if (n != "GetASPI32SupportInfo" && n != "SendASPI32Command")
                 Fail(k, "unknown entry point \"" + n +
                             "\" (GetASPI32SupportInfo, SendASPI32Command)");
             c.aspiMissing.push_back(n);
         }
     }},
    {"failures", ReadFailures},
    {"immediateFailures",
     [](const json& v, const std::string& k, BenchConfig& c) {
         const std::string mode = String(v, k);
         if (mode == "return") {
             c.aspiImmediate = AspiImmediate::Return;
         } else if (mode == "return-and-post") {
             c.aspiImmediate = AspiImmediate::ReturnAndPost;
         } else if (mode != "post") {
             Fail(k, "must be \"post\", \"return\" or \"return-and-post\"");
         }
     }},
    {"swap", ReadSwap, [] { return KeyPaths<SwapDraft>(kSwapKeys); }},
}};

}  // namespace

void ReadAspi(const json& value, const std::string& key, BenchConfig& config) {
    const char* what = "give {\"adapters\": n} or false";
    if (value.is_boolean()) {
        if (value.get<bool>()) Fail(key, what);
        return;
    }
    if (!value.is_object()) Fail(key, what);
    ReadObject<BenchConfig>(value, key, kAspiKeys, config);
}

std::vector<std::string> AspiKeyPaths() {
    return KeyPaths<BenchConfig>(kAspiKeys);
}

}  // namespace usbisp::sim
