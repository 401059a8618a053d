#include "station/bench_timeline.h"

#include <nlohmann/json.hpp>

#include "platform/linux/clock.h"
#include "platform/sim/bench_file.h"

namespace usbisp::station {

using nlohmann::json;

namespace {

constexpr int kMaxPorts = 64;
constexpr int kMaxLineReaders = 10000000;
// A bench clock past this many milliseconds (some 11 days) is a typing error.
constexpr std::uint64_t kMaxMs = 1000000000;

struct TimelineError {
    std::string message;
};

[[noreturn]] void Fail(const std::string& key, const std::string& what) {
    throw TimelineError{"key \"" + key + "\": " + what};
}

void CheckKeys(const json& object, const std::string& where,
               std::initializer_list<const char*> known) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        bool ok = false;
        for (const char* k : known) ok = ok || it.key() == k;
        if (!ok) Fail(where + "." + it.key(), "unknown key");
    }
}

std::int64_t Integer(const json& value, const std::string& key, std::int64_t low, std::int64_t high,
                     const char* what) {
    if (!value.is_number_integer() || value.get<std::int64_t>() < low ||
        value.get<std::int64_t>() > high)
        Fail(key, std::string("must be ") + what + ", " + std::to_string(low) + " to " +
                      std::to_string(high));
    return value.get<std::int64_t>();
}

void ParseTimeline(const json& station, StationBench& bench) {
    if (!station.is_object()) Fail("station", "must be an object");
    CheckKeys(station, "station", {"ports", "handling", "line", "plugs"});
    const int kinds = static_cast<int>(bench.kinds.size());
    if (station.contains("handling"))
        bench.handling = static_cast<std::uint64_t>(Integer(
            station["handling"], "station.handling", 0, static_cast<std::int64_t>(kMaxMs), "ms"));
    int highest = 1;
    if (station.contains("plugs")) {
        const json& plugs = station["plugs"];
        if (!plugs.is_array()) Fail("station.plugs", "must be a list");
        for (std::size_t i = 0; i < plugs.size(); ++i) {
            const std::string key = "station.plugs[" + std::to_string(i) + "]";
            const json& p = plugs[i];
            if (!p.is_object()) Fail(key, "must be an object");
            CheckKeys(p, key, {"at", "port", "kind", "unplug"});
            Plug plug;
            if (p.contains("at"))
                plug.at = static_cast<std::uint64_t>(
                    Integer(p["at"], key + ".at", 0, static_cast<std::int64_t>(kMaxMs), "ms"));
            if (p.contains("port"))
                plug.port = static_cast<int>(
                    Integer(p["port"], key + ".port", 1, kMaxPorts, "a port number"));
            if (p.contains("kind"))
                plug.kind = static_cast<int>(
                    Integer(p["kind"], key + ".kind", 1, kinds, "a reader of the bench"));
            if (p.contains("unplug"))
                plug.unplug = static_cast<std::uint64_t>(
                    Integer(p["unplug"], key + ".unplug", static_cast<std::int64_t>(plug.at),
                            static_cast<std::int64_t>(kMaxMs), "ms, not before \"at\""));
            highest = std::max(highest, plug.port);
            bench.plugs.push_back(plug);
        }
    }
    if (station.contains("line")) {
        const json& line = station["line"];
        if (!line.is_object()) Fail("station.line", "must be an object");
        CheckKeys(line, "station.line", {"readers", "kinds"});
        if (!line.contains("readers")) Fail("station.line.readers", "missing");
        bench.lineReaders = static_cast<int>(Integer(line["readers"], "station.line.readers", 0,
                                                     kMaxLineReaders, "a number of readers"));
        if (line.contains("kinds")) {
            const json& list = line["kinds"];
            if (!list.is_array() || list.empty())
                Fail("station.line.kinds", "must be a list of readers of the bench");
            for (const json& k : list)
                bench.lineKinds.push_back(static_cast<int>(
                    Integer(k, "station.line.kinds", 1, kinds, "a reader of the bench")));
        } else {
            bench.lineKinds = {1};
        }
    }
    bench.ports = highest;
    if (station.contains("ports")) {
        bench.ports =
            static_cast<int>(Integer(station["ports"], "station.ports", 1, kMaxPorts, "ports"));
        if (bench.ports < highest)
            Fail("station.ports", "a plug names port " + std::to_string(highest));
    }
}

}  // namespace

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
    } catch (const TimelineError& e) {
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
