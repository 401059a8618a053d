// The key paths of the bench file: the list names every key the readers of
// the file accept (the bench's and the station's), each of them is accepted
// where the list puts it, and a key beside it that no table holds is refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "station/bench_timeline.h"

namespace usbisp::station {
namespace {

using nlohmann::json;

// The keys of the bench file, with the objects that hold keys of their own.
const std::set<std::string> kKnownKeys = {
    "windows",
    "clock",
    "realtime",
    "limitedUser",
    "drives",
    "remoteDrives",
    "drivers",
    "driverOpenFailures",
    "portDriverDeviceCount",
    "aspi",
    "aspi.adapters",
    "aspi.latency",
    "aspi.state",
    "aspi.missing",
    "aspi.failures",
    "aspi.immediateFailures",
    "aspi.swap",
    "aspi.swap.after",
    "aspi.swap.readers",
    "refusals",
    "readers",
    "readers[].letters",
    "readers[].aspi",
    "readers[].vid",
    "readers[].pid",
    "readers[].manufacturer",
    "readers[].product",
    "readers[].serial",
    "readers[].inquiry",
    "readers[].inquiry.vendor",
    "readers[].inquiry.product",
    "readers[].inquiry.revision",
    "readers[].firmwareRevision",
    "readers[].firmwareRevisionOrg",
    "readers[].usb20FirmwareRevision",
    "readers[].hardwareRevision",
    "readers[].memoryStick",
    "readers[].memoryStick.main",
    "readers[].memoryStick.loader",
    "readers[].firmware",
    "readers[].identityLayout",
    "readers[].answers",
    "readers[].failures",
    "readers[].hangs",
    "readers[].scsiStatus",
    "readers[].delays",
    "readers[].recording",
    "readers[].order",
    "station",
    "station.ports",
    "station.handling",
    "station.line",
    "station.line.readers",
    "station.line.kinds",
    "station.plugs",
    "station.plugs[].at",
    "station.plugs[].port",
    "station.plugs[].kind",
    "station.plugs[].unplug",
};

TEST(BenchKeys, ListEveryKeyOnce) {
    const std::vector<std::string> keys = StationBenchKeys();
    EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()), kKnownKeys);
    EXPECT_EQ(keys.size(), kKnownKeys.size()) << "a key listed twice";
}

// A bench every key path can be put into: a reader, the ASPI and line keys
// that must be there, one plug.
json BaseBench() {
    return json::parse(R"({"aspi": {"adapters": 1}, "readers": [{"letters": "E"}],
                           "station": {"line": {"readers": 1}, "plugs": [{}]}})");
}

// "readers[].inquiry.vendor" -> "/readers/0/inquiry/vendor"; the key as
// errors name it -> "readers[0].inquiry.vendor".
std::string Pointer(std::string path) {
    for (std::size_t at; (at = path.find("[]")) != std::string::npos;) path.replace(at, 2, ".0");
    std::replace(path.begin(), path.end(), '.', '/');
    return "/" + path;
}
std::string Named(std::string path) {
    for (std::size_t at; (at = path.find("[]")) != std::string::npos;) path.replace(at, 2, "[0]");
    return path;
}

std::string ErrorWith(const std::string& path) {
    json bench = BaseBench();
    bench[json::json_pointer(Pointer(path))] = nullptr;
    std::string error;
    EXPECT_FALSE(ParseStationBench(bench.dump(), ".", error)) << path;
    return error;
}

TEST(BenchKeys, EachIsReadWhereTheListPutsItAndAnyOtherIsUnknown) {
    std::string error;
    ASSERT_TRUE(ParseStationBench(BaseBench().dump(), ".", error)) << error;
    for (const std::string& path : StationBenchKeys()) {
        // A null value is wrong for every key, but only a key the tables hold
        // gets as far as its own check.
        EXPECT_NE(ErrorWith(path), "key \"" + Named(path) + "\": unknown key");
        EXPECT_EQ(ErrorWith(path + "Z"), "key \"" + Named(path) + "Z\": unknown key");
    }
}

}  // namespace
}  // namespace usbisp::station
