// The command line of usbisp --station.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "station/station_options.h"

namespace usbisp::station {
namespace {

TEST(StationOptions, ReadsEveryFlag) {
    std::string error;
    auto options =
        ParseStationOptions({"--station", "--real", "--dir", "d", "--log", "l.log", "--verify-only",
                             "--headless", "--trace-io", "--readers", "4", "--take-counter"},
                            error);
    ASSERT_TRUE(options) << error;
    EXPECT_TRUE(options->real);
    EXPECT_EQ(options->directory, "d");
    EXPECT_EQ(options->logPath, "l.log");
    EXPECT_TRUE(options->verifyOnly);
    EXPECT_TRUE(options->headless);
    EXPECT_TRUE(options->traceIo);
    EXPECT_EQ(options->readers, 4);
    EXPECT_TRUE(options->takeCounter);
    EXPECT_FALSE(ParseStationOptions({"--station"}, error)->takeCounter);
}

TEST(StationOptions, TheLogLivesInTheDirectoryUnlessNamed) {
    std::string error;
    auto options = ParseStationOptions({"--dir", "/srv/line", "--station"}, error);
    ASSERT_TRUE(options) << error;
    EXPECT_FALSE(options->real);
    EXPECT_EQ(options->benchPath, "");
    EXPECT_EQ(options->logPath, "/srv/line/PRODUCTION.LOG");
}

struct Refusal {
    std::vector<std::string> args;
    std::string error;
};

class StationOptionRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(StationOptionRefusals, SayWhy) {
    std::string error;
    EXPECT_FALSE(ParseStationOptions(GetParam().args, error));
    EXPECT_EQ(error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, StationOptionRefusals,
    ::testing::Values(Refusal{{"--station", "--script", "x"},
                              "unknown argument \"--script\" with --station"},
                      Refusal{{"--station", "--real", "--bench", "b.json"},
                              "--real and --bench exclude each other"},
                      Refusal{{"--station", "--readers", "2"},
                              "--readers goes with --real (a bench's timeline has its own end)"},
                      Refusal{{"--station", "--real", "--readers", "0"},
                              "--readers needs a number of readers, 1 to 1000000"},
                      Refusal{{"--station", "--real", "--readers", "3x"},
                              "--readers needs a number of readers, 1 to 1000000"},
                      Refusal{{"--station", "--log"}, "--log needs a value"},
                      Refusal{{"--station", "--log", ""}, "--log needs a file name"},
                      Refusal{{"--real"}, "--station is missing"}));

}  // namespace
}  // namespace usbisp::station
