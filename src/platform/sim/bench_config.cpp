// The machine keys of the bench file, and the reading of the whole file.
#include "platform/sim/bench_config.h"

#include <array>
#include <cstdio>
#include <map>

#include "platform/ascii_case.h"
#include "platform/sim/bench_keys.h"
#include "platform/sim/bench_values.h"
#include "platform/sim/recording_bench.h"

namespace usbisp::sim {

namespace {

// The machine being read, and where its readers' "@FILE" firmware lies.
struct MachineDraft {
    BenchConfig config;
    const std::string& baseDir;
};

using Rule = KeyRule<MachineDraft>;

LocalTime ParseClock(const std::string& text) {
    LocalTime t;
    int year, month, day, hour, minute, second;
    char tail;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &year, &month, &day, &hour, &minute,
                    &second, &tail) != 6 ||
        text.size() != 19)
        Fail("clock", "not a date and time of the form 2003-11-18T09:30:00");
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1980 || year > 2099 || month < 1 || month > 12 || day < 1 ||
        day > kDays[month - 1] || hour > 23 || minute > 59 || second > 59)
        Fail("clock", "date or time out of range");
    t.year = static_cast<std::uint16_t>(year);
    t.month = static_cast<std::uint16_t>(month);
    t.day = static_cast<std::uint16_t>(day);
    t.hour = static_cast<std::uint16_t>(hour);
    t.minute = static_cast<std::uint16_t>(minute);
    t.second = static_cast<std::uint16_t>(second);
    return t;
}

// "FILE" or "FILE#n" (n >= 1), FILE one of the installed drivers.
void CheckDriverOpen(const std::string& text, const std::vector<std::string>& drivers,
                     const std::string& key) {
    const auto hash = text.find('#');
    const std::string file = text.substr(0, hash);
    const bool installed = std::any_of(drivers.begin(), drivers.end(), [&](const std::string& d) {
        return SameIgnoringCase(d, file);
    });
    if (!installed) Fail(key, "\"" + file + "\" is not one of the installed drivers");
    if (hash == std::string::npos) return;
    if (!IsCount(text.substr(hash + 1)))
        Fail(key, "\"" + text + "\": the open number must be 1 or more");
}

std::vector<std::string> UnderReaders() {
    std::vector<std::string> paths;
    for (const std::string& path : ReaderKeyPaths()) paths.push_back("[]." + path);
    // A reader that is a recording.
    paths.push_back("[].recording");
    paths.push_back("[].order");
    return paths;
}

// In the order they are read: the driver opens name installed drivers.
constexpr std::array<Rule, 12> kMachineKeys = {{
    {"windows",
     [](const json& v, const std::string& k, MachineDraft& m) {
         m.config.windows = String(v, k);
         const auto word = VersionWordFor(m.config.windows);
         if (!word)
             Fail(k, "unknown version \"" + m.config.windows +
                         "\" (95, 98, me, 2000, xp, nt4, 2003, vista, 7, 10)");
         m.config.versionWord = *word;
     }},
    {"clock", [](const json& v, const std::string& k,
                 MachineDraft& m) { m.config.clock = ParseClock(String(v, k)); }},
    {"realtime", [](const json& v, const std::string& k,
                    MachineDraft& m) { m.config.realtime = Boolean(v, k); }},
    {"limitedUser", [](const json& v, const std::string& k,
                       MachineDraft& m) { m.config.limitedUser = Boolean(v, k); }},
    {"drives", [](const json& v, const std::string& k,
                  MachineDraft& m) { m.config.drives = Letters(v, k, 0, 26); }},
    {"remoteDrives", [](const json& v, const std::string& k,
                        MachineDraft& m) { m.config.remoteDrives = Letters(v, k, 0, 26); }},
    {"drivers",
     [](const json& v, const std::string& k, MachineDraft& m) {
         if (!v.is_array()) Fail(k, "must be a list of driver file names");
         for (const json& name : v) m.config.drivers.push_back(String(name, k));
     }},
    {"driverOpenFailures",
     [](const json& v, const std::string& k, MachineDraft& m) {
         if (!v.is_array()) Fail(k, "must be a list of driver opens (FILE or FILE#n)");
         for (const json& name : v) {
             const std::string text = String(name, k);
             CheckDriverOpen(text, m.config.drivers, k);
             m.config.driverOpenFailures.push_back(text);
         }
     }},
    {"portDriverDeviceCount",
     [](const json& v, const std::string& k, MachineDraft& m) {
         if (!v.is_number_integer() || v.get<int>() < 0 || v.get<int>() > 255)
             Fail(k, "must be a count byte, 0 to 255");
         m.config.portDriverDeviceCount = v.get<int>();
     }},
    {"aspi", [](const json& v, const std::string& k, MachineDraft& m) { ReadAspi(v, k, m.config); },
     AspiKeyPaths},
    {"refusals",
     [](const json& v, const std::string& k, MachineDraft& m) {
         const std::string refusals = String(v, k);
         if (refusals == "check-condition") {
             m.config.refusals = Refusals::CheckCondition;
         } else if (refusals != "transport") {
             Fail(k, "must be \"transport\" or \"check-condition\"");
         }
     }},
    {"readers",
     [](const json& v, const std::string& k, MachineDraft& m) {
         if (!v.is_array()) Fail(k, "must be a list");
         for (std::size_t i = 0; i < v.size(); ++i) {
             const std::string at = k + "[" + std::to_string(i) + "]";
             if (v[i].is_object() && (v[i].contains("recording") || v[i].contains("order")))
                 m.config.recordedReaders.push_back(ReadRecordedReader(v[i], at, m.baseDir));
             else
                 m.config.readers.push_back(ReadReader(v[i], at, m.baseDir));
         }
     },
     UnderReaders},
}};

// The library's message without its "[json.exception.parse_error.101] "
// in front, which tells a user nothing.
std::string JsonMessage(const json::exception& e) {
    const std::string what = e.what();
    const auto end = what.find("] ");
    if (what.rfind("[json.exception.", 0) != 0 || end == std::string::npos) return what;
    return what.substr(end + 2);
}

}  // namespace

std::optional<std::uint32_t> VersionWordFor(const std::string& windows) {
    // As GetVersion reports them: the build number in the high word on the NT
    // family, the 9x family with its high bit set.
    static const std::map<std::string, std::uint32_t> kWords = {
        {"95", 0xC3B60004u}, {"98", 0xC0000A04u},  {"me", 0xC0005A04u},   {"2000", 0x08930005u},
        {"xp", 0x0A280105u}, {"nt4", 0x05650004u}, {"2003", 0x0ECE0205u}, {"vista", 0x17700006u},
        {"7", 0x1DB10106u},  {"10", 0x23F00206u}};
    auto it = kWords.find(windows);
    if (it == kWords.end()) return std::nullopt;
    return it->second;
}

std::optional<BenchConfig> ParseBenchConfig(const std::string& text, const std::string& baseDir,
                                            std::string& error) {
    json doc;
    try {
        doc = json::parse(text);
    } catch (const json::exception& e) {
        // Not only a syntax error: a number too large for a double is refused
        // while parsing too.
        error = "not valid JSON: " + JsonMessage(e);
        return std::nullopt;
    }
    try {
        if (!doc.is_object()) throw BenchError{"the bench must be a JSON object"};
        // The production station's plug timeline; the other modes run the
        // same bench without it.
        doc.erase("station");
        MachineDraft machine{{}, baseDir};
        machine.config.versionWord = *VersionWordFor(machine.config.windows);
        ReadObject<MachineDraft>(doc, "", kMachineKeys, machine);
        CheckAcrossFields(machine.config);
        return std::move(machine.config);
    } catch (const BenchError& e) {
        error = e.message;
        return std::nullopt;
    } catch (const json::exception& e) {
        error = JsonMessage(e);
        return std::nullopt;
    }
}

std::vector<std::string> BenchKeys() {
    return KeyPaths<MachineDraft>(kMachineKeys);
}

}  // namespace usbisp::sim
