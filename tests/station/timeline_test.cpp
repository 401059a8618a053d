// The station's bench file: its plug timeline and the machine of each kind
// of reader.
#include <gtest/gtest.h>

#include <string>

#include "station/bench_timeline.h"

namespace usbisp::station {
namespace {

constexpr const char* kReader =
    R"({"inquiry": {"vendor": "Generic", "product": "Flash Reader"}, "hardwareRevision": "73 11 00"})";

std::string BenchWith(const std::string& station, const std::string& machine = "") {
    return std::string(R"({"clock": "2003-11-18T09:30:00", )") + machine + R"("readers": [)" +
           kReader + "," + kReader + "]" + (station.empty() ? "" : ", \"station\": " + station) +
           "}";
}

TEST(StationBench, WithoutATimelineEveryReaderArrivesAtOnceOnPortsInOrder) {
    std::string error;
    auto bench = ParseStationBench(BenchWith(""), ".", error);
    ASSERT_TRUE(bench) << error;
    EXPECT_EQ(bench->ports, 2);
    ASSERT_EQ(bench->plugs.size(), 2u);
    EXPECT_EQ(bench->plugs[1].at, 0u);
    EXPECT_EQ(bench->plugs[1].port, 2);
    EXPECT_EQ(bench->plugs[1].kind, 2);
    EXPECT_EQ(bench->lineReaders, 0);
    // Each kind stands alone on a machine of its own, on E: unless it says.
    ASSERT_EQ(bench->kinds.size(), 2u);
    ASSERT_EQ(bench->kinds[0].readers.size(), 1u);
    EXPECT_EQ(bench->kinds[0].readers[0].letters, "E");
    EXPECT_EQ(bench->start.year, 2003);
    EXPECT_EQ(bench->start.minute, 30);
}

TEST(StationBench, ReadsLinePlugsPortsAndHandling) {
    std::string error;
    auto bench = ParseStationBench(
        BenchWith(R"({"ports": 16, "handling": 2500, "line": {"readers": 1000, "kinds": [1, 2, 1]},
                      "plugs": [{"at": 40, "port": 3, "kind": 2, "unplug": 70}, {"port": 5}]})"),
        ".", error);
    ASSERT_TRUE(bench) << error;
    EXPECT_EQ(bench->ports, 16);
    EXPECT_EQ(bench->handling, 2500u);
    EXPECT_EQ(bench->lineReaders, 1000);
    EXPECT_EQ(bench->lineKinds, (std::vector<int>{1, 2, 1}));
    ASSERT_EQ(bench->plugs.size(), 2u);
    EXPECT_EQ(bench->plugs[0].at, 40u);
    EXPECT_EQ(bench->plugs[0].port, 3);
    EXPECT_EQ(bench->plugs[0].kind, 2);
    EXPECT_EQ(bench->plugs[0].unplug, std::optional<std::uint64_t>(70));
    EXPECT_EQ(bench->plugs[1].at, 0u);
    EXPECT_EQ(bench->plugs[1].kind, 1);
    EXPECT_FALSE(bench->plugs[1].unplug);
}

TEST(StationBench, PortsDefaultToTheHighestAPlugNames) {
    std::string error;
    auto bench = ParseStationBench(BenchWith(R"({"plugs": [{"port": 7}]})"), ".", error);
    ASSERT_TRUE(bench) << error;
    EXPECT_EQ(bench->ports, 7);
    bench = ParseStationBench(BenchWith(R"({"line": {"readers": 3}})"), ".", error);
    ASSERT_TRUE(bench) << error;
    EXPECT_EQ(bench->ports, 1);
    EXPECT_EQ(bench->lineKinds, (std::vector<int>{1}));
}

struct Refusal {
    std::string bench;
    std::string error;
};

class StationBenchRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(StationBenchRefusals, NamesTheKey) {
    std::string error;
    EXPECT_FALSE(ParseStationBench(GetParam().bench, ".", error));
    EXPECT_EQ(error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Timeline, StationBenchRefusals,
    ::testing::Values(
        Refusal{R"({"readers": []})", "key \"readers\": the station needs at least one reader"},
        Refusal{R"({"windows": "2000", "readers": [{}]})",
                "key \"windows\": the station runs the pass-through path of Windows XP"},
        Refusal{R"({"readers": [{}, {"vid": "12345"}]})",
                "key \"readers[1].vid\": must be 4 hex digits"},
        // The first kind's error too, and only the key is renamed.
        Refusal{R"({"readers": [{"vid": "12345"}]})",
                "key \"readers[0].vid\": must be 4 hex digits"},
        Refusal{R"({"readers": [{}, {"failures": ["readers[0]"]}]})",
                "key \"readers[1].failures\": unknown operation \"readers[0]\" (Open, Inquiry, "
                "ReadIdentity, IspJump, GetIspStatus, IspWrite, IspVerify, GetDeviceCount, "
                "GetLunCount, ReadIdentityBlock, ReadIdentityBlock2, GetFirmwareRevision, "
                "WriteAddressedBlock)"},
        Refusal{BenchWith(R"({"port": 3})"), "key \"station.port\": unknown key"},
        Refusal{BenchWith(R"({"ports": 0})"), "key \"station.ports\": must be ports, 1 to 64"},
        Refusal{BenchWith(R"({"ports": 2, "plugs": [{"port": 3}]})"),
                "key \"station.ports\": a plug names port 3"},
        Refusal{BenchWith(R"({"plugs": [{"kind": 3}]})"),
                "key \"station.plugs[0].kind\": must be a reader of the bench, 1 to 2"},
        Refusal{BenchWith(R"({"plugs": [{"at": 50, "unplug": 40}]})"),
                "key \"station.plugs[0].unplug\": must be ms, not before \"at\", 50 to "
                "1000000000"},
        Refusal{BenchWith(R"({"plugs": [{"at": -1}]})"),
                "key \"station.plugs[0].at\": must be ms, 0 to 1000000000"},
        Refusal{BenchWith(R"({"line": {"kinds": [1]}})"), "key \"station.line.readers\": missing"},
        Refusal{BenchWith(R"({"line": {"readers": 2, "kinds": []}})"),
                "key \"station.line.kinds\": must be a list of readers of the bench"},
        Refusal{BenchWith(R"({"handling": "slow"})"),
                "key \"station.handling\": must be ms, 0 to 1000000000"}));

}  // namespace
}  // namespace usbisp::station
