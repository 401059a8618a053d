#include "station/bench_timeline.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>

#include "platform/linux/clock.h"
#include "platform/sim/bench_file.h"
#include "platform/sim/bench_keys.h"

namespace usbisp::station {

using sim::json;

namespace {

constexpr int kMaxPorts = 64;
constexpr int kMaxLineReaders = 10000000;
// A bench clock past this many milliseconds (some 11 days) is a typing error.
constexpr std::uint64_t kMaxMs = 1000000000;

std::int64_t Integer(const json& value, const std::string& key, std::int64_t low, std::int64_t high,
                     const char* what) {
    if (!value.is_number_integer() || value.get<std::int64_t>() < low ||
        value.get<std::int64_t>() > high)
        sim::Fail(key, std::string("must be ") + what + ", " + std::to_string(low) + " to " +
                           std::to_string(high));
    return value.get<std::int64_t>();
}

std::uint64_t Ms(const json& value, const std::string& key, std::uint64_t low, const char* what) {
    return static_cast<std::uint64_t>(Integer(value, key, static_cast<std::int64_t>(low),
                                              static_cast<std::int64_t>(kMaxMs), what));
}

// A plug being read, and how many kinds of reader the bench has.
struct PlugDraft {
    Plug plug;
    int kinds = 1;
};

// In the order they are read: "unplug" is not before "at".
constexpr std::array<sim::KeyRule<PlugDraft>, 4> kPlugKeys = {{
    {"at",
     [](const json& v, const std::string& k, PlugDraft& p) { p.plug.at = Ms(v, k, 0, "ms"); }},
    {"port",
     [](const json& v, const std::string& k, PlugDraft& p) {
         p.plug.port = static_cast<int>(Integer(v, k, 1, kMaxPorts, "a port number"));
     }},
    {"kind",
     [](const json& v, const std::string& k, PlugDraft& p) {
         p.plug.kind = static_cast<int>(Integer(v, k, 1, p.kinds, "a reader of the bench"));
     }},
    {"unplug", [](const json& v, const std::string& k,
                  PlugDraft& p) { p.plug.unplug = Ms(v, k, p.plug.at, "ms, not before \"at\""); }},
}};

constexpr std::array<sim::KeyRule<StationBench>, 2> kLineKeys = {{
    {"readers",
     [](const json& v, const std::string& k, StationBench& b) {
         b.lineReaders = static_cast<int>(Integer(v, k, 0, kMaxLineReaders, "a number of readers"));
     },
     nullptr, "missing"},
    {"kinds",
     [](const json& v, const std::string& k, StationBench& b) {
         if (!v.is_array() || v.empty()) sim::Fail(k, "must be a list of readers of the bench");
         const int kinds = static_cast<int>(b.kinds.size());
         for (const json& kind : v)
             b.lineKinds.push_back(
                 static_cast<int>(Integer(kind, k, 1, kinds, "a reader of the bench")));
     }},
}};

// In the order they are read: "ports" is at least the highest port the plugs
// name, which `ports` holds once the plugs are read.
constexpr std::array<sim::KeyRule<StationBench>, 4> kStationKeys = {{
    {"handling",
     [](const json& v, const std::string& k, StationBench& b) { b.handling = Ms(v, k, 0, "ms"); }},
    {"plugs",
     [](const json& v, const std::string& k, StationBench& b) {
         if (!v.is_array()) sim::Fail(k, "must be a list");
         for (std::size_t i = 0; i < v.size(); ++i) {
             PlugDraft draft{Plug{}, static_cast<int>(b.kinds.size())};
             sim::ReadObject<PlugDraft>(v[i], k + "[" + std::to_string(i) + "]", kPlugKeys, draft);
             b.ports = std::max(b.ports, draft.plug.port);
             b.plugs.push_back(draft.plug);
         }
     },
     [] {
         std::vector<std::string> paths;
         for (const std::string& path : sim::KeyPaths<PlugDraft>(kPlugKeys))
             paths.push_back("[]." + path);
         return paths;
     }},
    {"line",
     [](const json& v, const std::string& k, StationBench& b) {
         sim::ReadObject<StationBench>(v, k, kLineKeys, b);
         if (b.lineKinds.empty()) b.lineKinds = {1};
     },
     [] { return sim::KeyPaths<StationBench>(kLineKeys); }},
    {"ports",
     [](const json& v, const std::string& k, StationBench& b) {
         const int highest = b.ports;
         b.ports = static_cast<int>(Integer(v, k, 1, kMaxPorts, "ports"));
         if (b.ports < highest) sim::Fail(k, "a plug names port " + std::to_string(highest));
     }},
}};

void ParseTimeline(const json& station, StationBench& bench) {
    bench.ports = 1;
    sim::ReadObject<StationBench>(station, "station", kStationKeys, bench);
}

}  // namespace

std::vector<std::string> StationBenchKeys() {
    std::vector<std::string> keys = sim::BenchKeys();
    keys.push_back("station");
    for (const std::string& path : sim::KeyPaths<StationBench>(kStationKeys))
        keys.push_back("station." + path);
    return keys;
}

std::optional<StationBench> ParseStationBench(const std::string& text, const std::string& baseDir,
                                              std::string& error) {
    json doc = json::parse(text, nullptr, false);
    if (doc.is_discarded()) {
        // The bench's own parser words the syntax error.
        if (!sim::ParseBenchConfig(text, baseDir, error)) return std::nullopt;
        error = "not valid JSON";
        return std::nullopt;
    }
    if (!doc.is_object()) {
        error = "the bench must be a JSON object";
        return std::nullopt;
    }
    json station;
    const bool timeline = doc.contains("station");
    if (timeline) {
        station = doc["station"];
        doc.erase("station");
    }
    json readers = doc.contains("readers") ? doc["readers"] : json::array();
    if (!readers.is_array() || readers.empty()) {
        error = "key \"readers\": the station needs at least one reader";
        return std::nullopt;
    }
    StationBench bench;
    for (std::size_t i = 0; i < readers.size(); ++i) {
        json reader = readers[i];
        if (reader.is_object() && !reader.contains("letters")) reader["letters"] = "E";
        doc["readers"] = json::array({reader});
        std::string what;
        auto config = sim::ParseBenchConfig(doc.dump(), baseDir, what);
        if (!config) {
            // Each kind is checked on a machine of its own, as readers[0]:
            // the key is named as the file has it. Only the key: a value the
            // error quotes stays as it was written.
            const std::string asAlone = "key \"readers[0]";
            if (what.rfind(asAlone, 0) == 0)
                what.replace(0, asAlone.size(), "key \"readers[" + std::to_string(i) + "]");
            error = what;
            return std::nullopt;
        }
        if (config->windows != "xp") {
            error = "key \"windows\": the station runs the pass-through path of Windows XP";
            return std::nullopt;
        }
        bench.kinds.push_back(std::move(*config));
    }
    const sim::BenchConfig& first = bench.kinds.front();
    bench.start = first.clock ? *first.clock : lnx::SystemClock().Now();
    bench.realtime = first.realtime;
    try {
        if (timeline) {
            ParseTimeline(station, bench);
        } else {
            bench.ports = static_cast<int>(std::min<std::size_t>(readers.size(), kMaxPorts));
            for (int k = 1; k <= bench.ports; ++k) bench.plugs.push_back(Plug{0, k, k, {}});
        }
    } catch (const sim::BenchError& e) {
        error = e.message;
        return std::nullopt;
    }
    return bench;
}

std::optional<StationBench> LoadStationBench(const std::string& path, std::string& error) {
    sim::BenchText file;
    if (!sim::ReadBenchText(path, file, error)) return std::nullopt;
    std::string what;
    auto bench = ParseStationBench(file.text, file.baseDir, what);
    if (!bench) error = file.name + ": " + what;
    return bench;
}

}  // namespace usbisp::station
