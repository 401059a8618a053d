#include "platform/sim/bench_config.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "platform/ascii_case.h"
#include "emulator/operations.h"

namespace usbisp::sim {

using nlohmann::json;

namespace {

// A bench error: the key path and what is wrong.
struct BenchError {
    std::string message;
};

[[noreturn]] void Fail(const std::string& key, const std::string& what) {
    throw BenchError{"key \"" + key + "\": " + what};
}

void CheckKeys(const json& object, const std::string& where,
               std::initializer_list<const char*> known) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        const bool ok =
            std::any_of(known.begin(), known.end(), [&](const char* k) { return it.key() == k; });
        if (!ok) Fail(where.empty() ? it.key() : where + "." + it.key(), "unknown key");
    }
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

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

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

// The n of "Name#n": 1 or more.
bool IsCount(const std::string& count) {
    return !count.empty() && count.size() <= 6 &&
           std::all_of(count.begin(), count.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
           std::stoi(count) >= 1;
}

// A wait of the bench: 0 ms to an hour.
int Milliseconds(const json& value, const std::string& key) {
    if (!value.is_number_integer() || value.get<long long>() < 0 ||
        value.get<long long>() > 3600000)
        Fail(key, "must be milliseconds, 0 to 3600000");
    return value.get<int>();
}

// "Name" or "Name#n" with n >= 1.
void CheckRequestName(const std::string& name, const std::string& key, bool needCount) {
    const auto hash = name.find('#');
    const std::string op = name.substr(0, hash);
    if (!IsFailureOperation(op)) Fail(key, "unknown operation \"" + op + "\"");
    if (hash == std::string::npos) {
        if (needCount) Fail(key, "\"" + name + "\" needs a request number (Name#n)");
        return;
    }
    if (!IsCount(name.substr(hash + 1)))
        Fail(key, "\"" + name + "\": the request number must be 1 or more");
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

std::vector<std::uint8_t> Firmware(const json& value, const std::string& key,
                                   const std::string& baseDir) {
    const std::string text = String(value, key);
    std::vector<std::uint8_t> bytes;
    if (!text.empty() && text[0] == '@') {
        const std::string path =
            (baseDir.empty() ? std::string(".") : baseDir) + "/" + text.substr(1);
        std::ifstream in(path, std::ios::binary);
        if (!in) Fail(key, "cannot read \"" + path + "\"");
        // One byte more than a firmware may hold is enough to refuse it; a
        // file without end (a device) is never read whole.
        bytes.resize(65537);
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        bytes.resize(static_cast<std::size_t>(in.gcount()));
    } else {
        bytes = HexBytes(text, key);
    }
    if (bytes.size() > 65536) Fail(key, "longer than 65536 bytes");
    return bytes;
}

ReaderConfig ParseReader(const json& r, const std::string& where, const std::string& baseDir) {
    if (!r.is_object()) Fail(where, "must be an object");
    CheckKeys(
        r, where,
        {"letters", "aspi", "vid", "pid", "manufacturer", "product", "serial", "inquiry",
         "firmwareRevision", "firmwareRevisionOrg", "usb20FirmwareRevision", "hardwareRevision",
         "memoryStick", "firmware", "answers", "failures", "scsiStatus", "hangs", "delays"});
    ReaderConfig c;
    auto key = [&](const char* k) { return where + "." + k; };
    if (r.contains("letters")) c.letters = Letters(r["letters"], key("letters"), 1, 6);
    if (r.contains("aspi")) {
        const json& a = r["aspi"];
        if (!a.is_array() || a.size() != 2 || !a[0].is_number_integer() ||
            !a[1].is_number_integer() || a[0].get<int>() < 0 || a[0].get<int>() > 255 ||
            a[1].get<int>() < 0 || a[1].get<int>() > 255)
            Fail(key("aspi"), "must be [host adapter, target], each 0 to 255");
        c.aspiAdapter = a[0].get<int>();
        c.aspiTarget = a[1].get<int>();
    }
    if (r.contains("vid")) c.vid = Hex16(r["vid"], key("vid"));
    if (r.contains("pid")) c.pid = Hex16(r["pid"], key("pid"));
    if (r.contains("manufacturer"))
        c.manufacturer = Text(r["manufacturer"], key("manufacturer"), 24);
    if (r.contains("product")) c.product = Text(r["product"], key("product"), 16);
    if (r.contains("serial")) c.serial = Text(r["serial"], key("serial"), 12);
    c.inquiryVendor.assign(8, ' ');
    c.inquiryProduct.assign(16, ' ');
    c.inquiryRevision.assign(4, ' ');
    if (r.contains("inquiry")) {
        const json& q = r["inquiry"];
        const std::string w = key("inquiry");
        if (!q.is_object()) Fail(w, "must be an object");
        CheckKeys(q, w, {"vendor", "product", "revision"});
        if (q.contains("vendor")) c.inquiryVendor = Padded(q["vendor"], w + ".vendor", 8);
        if (q.contains("product")) c.inquiryProduct = Padded(q["product"], w + ".product", 16);
        if (q.contains("revision")) c.inquiryRevision = Padded(q["revision"], w + ".revision", 4);
    }
    if (r.contains("firmwareRevision"))
        c.firmwareRevision = Revision(r["firmwareRevision"], key("firmwareRevision"), 8);
    if (r.contains("firmwareRevisionOrg"))
        c.firmwareRevisionOrg = Revision(r["firmwareRevisionOrg"], key("firmwareRevisionOrg"), 4);
    if (r.contains("usb20FirmwareRevision"))
        c.usb20FirmwareRevision =
            Revision(r["usb20FirmwareRevision"], key("usb20FirmwareRevision"), 8);
    if (r.contains("hardwareRevision"))
        c.hardwareRevision = Revision(r["hardwareRevision"], key("hardwareRevision"), 3);
    if (r.contains("memoryStick")) {
        const json& m = r["memoryStick"];
        const std::string w = key("memoryStick");
        if (!m.is_object()) Fail(w, "must be an object");
        CheckKeys(m, w, {"main", "loader"});
        c.memoryStick = true;
        if (m.contains("main")) c.memoryStickMain = Text(m["main"], w + ".main", 8);
        if (m.contains("loader")) c.memoryStickLoader = Text(m["loader"], w + ".loader", 8);
    }
    if (r.contains("firmware")) c.firmware = Firmware(r["firmware"], key("firmware"), baseDir);
    if (r.contains("answers")) {
        const json& a = r["answers"];
        if (!a.is_object()) Fail(key("answers"), "must be an object");
        for (auto it = a.begin(); it != a.end(); ++it) {
            const std::string w = key("answers") + "." + it.key();
            if (!IsAnswerCommand(it.key())) Fail(w, "unknown command");
            if (!it.value().is_array()) Fail(w, "must be a list of status bytes");
            std::vector<std::uint8_t> list;
            for (const json& b : it.value()) list.push_back(HexByte(b, w));
            c.answers[it.key()] = list;
        }
    }
    if (r.contains("failures")) {
        const json& f = r["failures"];
        if (!f.is_array()) Fail(key("failures"), "must be a list of request names");
        for (const json& name : f) {
            const std::string n = String(name, key("failures"));
            CheckRequestName(n, key("failures"), false);
            c.failures.push_back(n);
        }
    }
    if (r.contains("hangs")) {
        const json& h = r["hangs"];
        if (!h.is_array()) Fail(key("hangs"), "must be a list of request names");
        for (const json& name : h) {
            const std::string n = String(name, key("hangs"));
            CheckRequestName(n, key("hangs"), false);
            c.hangs.push_back(n);
        }
    }
    if (r.contains("scsiStatus")) {
        const json& s = r["scsiStatus"];
        if (!s.is_object()) Fail(key("scsiStatus"), "must be an object");
        for (auto it = s.begin(); it != s.end(); ++it) {
            const std::string w = key("scsiStatus") + "." + it.key();
            CheckRequestName(it.key(), w, true);
            c.scsiStatus[it.key()] = HexByte(it.value(), w);
        }
    }
    if (r.contains("delays")) {
        const json& d = r["delays"];
        if (!d.is_object()) Fail(key("delays"), "must be an object");
        for (auto it = d.begin(); it != d.end(); ++it) {
            const std::string w = key("delays") + "." + it.key();
            CheckRequestName(it.key(), w, true);
            c.delays[it.key()] = Milliseconds(it.value(), w);
        }
    }
    return c;
}

// The machine's "aspi": {"adapters": n, ...}, or false.
void ParseAspi(const json& a, BenchConfig& config) {
    if (a.is_boolean()) {
        if (a.get<bool>()) Fail("aspi", "give {\"adapters\": n} or false");
        return;
    }
    if (!a.is_object()) Fail("aspi", "give {\"adapters\": n} or false");
    CheckKeys(a, "aspi",
              {"adapters", "latency", "state", "missing", "failures", "immediateFailures", "swap"});
    if (!a.contains("adapters") || !a["adapters"].is_number_integer() ||
        a["adapters"].get<int>() < 0 || a["adapters"].get<int>() > 8)
        Fail("aspi.adapters", "must be a number of host adapters, 0 to 8");
    config.aspiAdapters = a["adapters"].get<int>();
    if (a.contains("latency")) config.aspiLatency = Milliseconds(a["latency"], "aspi.latency");
    if (a.contains("state")) {
        if (!a["state"].is_number_integer() || a["state"].get<int>() < 0 ||
            a["state"].get<int>() > 255)
            Fail("aspi.state", "must be a status byte, 0 to 255");
        config.aspiState = a["state"].get<int>();
    }
    if (a.contains("missing")) {
        const json& m = a["missing"];
        if (!m.is_array()) Fail("aspi.missing", "must be a list of entry point names");
        for (const json& name : m) {
            const std::string n = String(name, "aspi.missing");
            if (n != "GetASPI32SupportInfo" && n != "SendASPI32Command")
                Fail("aspi.missing", "unknown entry point \"" + n + "\"");
            config.aspiMissing.push_back(n);
        }
    }
    if (a.contains("failures")) {
        const json& f = a["failures"];
        const char* key = "aspi.failures";
        if (!f.is_array()) Fail(key, "must be a list of calls (LoadLibrary, GetASPI32SupportInfo)");
        for (const json& name : f) {
            const std::string n = String(name, key);
            const auto hash = n.find('#');
            const std::string call = n.substr(0, hash);
            if (call != "LoadLibrary" && call != "GetASPI32SupportInfo")
                Fail(key, "unknown call \"" + call + "\" (LoadLibrary, GetASPI32SupportInfo)");
            if (hash != std::string::npos && !IsCount(n.substr(hash + 1)))
                Fail(key, "\"" + n + "\": the call number must be 1 or more");
            config.aspiFailures.push_back(n);
        }
    }
    if (a.contains("immediateFailures")) {
        const std::string mode = String(a["immediateFailures"], "aspi.immediateFailures");
        if (mode == "return") {
            config.aspiImmediate = AspiImmediate::Return;
        } else if (mode == "return-and-post") {
            config.aspiImmediate = AspiImmediate::ReturnAndPost;
        } else if (mode != "post") {
            Fail("aspi.immediateFailures", "must be \"post\", \"return\" or \"return-and-post\"");
        }
    }
    if (a.contains("swap")) {
        const json& w = a["swap"];
        const char* what = "must be {\"after\": n, \"readers\": [i, j]}";
        if (!w.is_object()) Fail("aspi.swap", what);
        CheckKeys(w, "aspi.swap", {"after", "readers"});
        const json& r = w.contains("readers") ? w["readers"] : json();
        if (!w.contains("after") || !w["after"].is_number_integer() || w["after"].get<int>() < 1 ||
            !r.is_array() || r.size() != 2 || !r[0].is_number_integer() ||
            !r[1].is_number_integer())
            Fail("aspi.swap", what);
        config.aspiSwap = AspiSwap{w["after"].get<int>(), r[0].get<int>(), r[1].get<int>()};
    }
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
        error = std::string("not valid JSON: ") + e.what();
        return std::nullopt;
    }
    try {
        if (!doc.is_object()) throw BenchError{"the bench must be a JSON object"};
        CheckKeys(doc, "",
                  {"windows", "clock", "realtime", "limitedUser", "drives", "drivers",
                   "driverOpenFailures", "portDriverDeviceCount", "aspi", "refusals", "readers"});
        BenchConfig config;
        if (doc.contains("windows")) config.windows = String(doc["windows"], "windows");
        auto word = VersionWordFor(config.windows);
        if (!word)
            Fail("windows", "unknown version \"" + config.windows +
                                "\" (95, 98, me, 2000, xp, nt4, 2003, vista, 7, 10)");
        config.versionWord = *word;
        if (doc.contains("clock")) config.clock = ParseClock(String(doc["clock"], "clock"));
        if (doc.contains("realtime")) {
            if (!doc["realtime"].is_boolean()) Fail("realtime", "must be true or false");
            config.realtime = doc["realtime"].get<bool>();
        }
        if (doc.contains("limitedUser")) {
            if (!doc["limitedUser"].is_boolean()) Fail("limitedUser", "must be true or false");
            config.limitedUser = doc["limitedUser"].get<bool>();
        }
        if (doc.contains("drives")) config.drives = Letters(doc["drives"], "drives", 0, 26);
        if (doc.contains("drivers")) {
            const json& d = doc["drivers"];
            if (!d.is_array()) Fail("drivers", "must be a list of driver file names");
            for (const json& name : d) config.drivers.push_back(String(name, "drivers"));
        }
        if (doc.contains("driverOpenFailures")) {
            const json& f = doc["driverOpenFailures"];
            const char* key = "driverOpenFailures";
            if (!f.is_array()) Fail(key, "must be a list of driver opens (FILE or FILE#n)");
            for (const json& name : f) {
                const std::string text = String(name, key);
                CheckDriverOpen(text, config.drivers, key);
                config.driverOpenFailures.push_back(text);
            }
        }
        if (doc.contains("portDriverDeviceCount")) {
            const json& n = doc["portDriverDeviceCount"];
            if (!n.is_number_integer() || n.get<int>() < 0 || n.get<int>() > 255)
                Fail("portDriverDeviceCount", "must be a count byte, 0 to 255");
            config.portDriverDeviceCount = n.get<int>();
        }
        if (doc.contains("aspi")) ParseAspi(doc["aspi"], config);
        if (doc.contains("refusals")) {
            const std::string refusals = String(doc["refusals"], "refusals");
            if (refusals == "check-condition") {
                config.refusals = Refusals::CheckCondition;
            } else if (refusals != "transport") {
                Fail("refusals", "must be \"transport\" or \"check-condition\"");
            }
        }
        if (doc.contains("readers")) {
            const json& readers = doc["readers"];
            if (!readers.is_array()) Fail("readers", "must be a list");
            for (std::size_t i = 0; i < readers.size(); ++i)
                config.readers.push_back(
                    ParseReader(readers[i], "readers[" + std::to_string(i) + "]", baseDir));
        }
        std::set<char> used;
        auto claim = [&](char letter, const std::string& key) {
            if (!used.insert(letter).second)
                Fail(key, std::string("drive letter ") + letter + " is used twice");
        };
        if (config.aspiSwap) {
            const AspiSwap& w = *config.aspiSwap;
            const int readers = static_cast<int>(config.readers.size());
            if (w.first == w.second || w.first < 0 || w.second < 0 || w.first >= readers ||
                w.second >= readers)
                Fail("aspi.swap.readers", "must name two readers of the bench (0-based)");
            if (config.readers[static_cast<std::size_t>(w.first)].aspiAdapter < 0 &&
                config.readers[static_cast<std::size_t>(w.second)].aspiAdapter < 0)
                Fail("aspi.swap.readers", "neither reader has an ASPI address");
        }
        std::set<std::pair<int, int>> addresses;
        for (std::size_t i = 0; i < config.readers.size(); ++i) {
            const ReaderConfig& r = config.readers[i];
            if (r.aspiAdapter >= 0 && !addresses.insert({r.aspiAdapter, r.aspiTarget}).second)
                Fail("readers[" + std::to_string(i) + "].aspi",
                     "adapter and target are used twice");
        }
        for (char c : config.drives) claim(c, "drives");
        for (std::size_t i = 0; i < config.readers.size(); ++i)
            for (char c : config.readers[i].letters)
                claim(c, "readers[" + std::to_string(i) + "].letters");
        return config;
    } catch (const BenchError& e) {
        error = e.message;
        return std::nullopt;
    } catch (const json::exception& e) {
        error = e.what();
        return std::nullopt;
    }
}

}  // namespace usbisp::sim
