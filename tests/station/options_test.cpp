// The command line of usbisp --station.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "station/records_main.h"
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
                      Refusal{{"--real"}, "--station is missing"},
                      Refusal{{"--station", "--records"}, "--records needs a value"},
                      Refusal{{"--station", "--verify-only", "--records", "dbname=line"},
                              "--records gives serial numbers: it does not go with "
                              "--verify-only"}));

// usbisp --records URL --init and the reports: which command lines are
// theirs, and the usage errors (exit status 2, before any connection).
TEST(RecordsOptions, WhichCommandLinesAreTheirs) {
    EXPECT_TRUE(IsRecordsCommand({"--report", "PRODUCTION.LOG"}));
    EXPECT_TRUE(IsRecordsCommand({"--records", "dbname=line", "--init"}));
    EXPECT_FALSE(IsRecordsCommand({"--station", "--records", "dbname=line"}));
    EXPECT_FALSE(IsRecordsCommand({"--bench", "b.json"}));
}

class RecordsOptionRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(RecordsOptionRefusals, SayWhy) {
    std::ostringstream out, err;
    EXPECT_EQ(RecordsMain(GetParam().args, out, err), 2);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str().substr(0, err.str().find('\n')), "usbisp: " + GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, RecordsOptionRefusals,
    ::testing::Values(
        Refusal{{"--records"}, "--records needs a value"},
        Refusal{{"--records", "dbname=line"}, "give one of --init and --report"},
        Refusal{{"--records", "dbname=line", "--init", "--report"},
                "give one of --init and --report"},
        Refusal{{"--init"}, "--init goes with --records URL"},
        Refusal{{"--report"},
                "--report reads either the database (--records URL) or a log (--report LOG)"},
        Refusal{{"--records", "dbname=line", "--report", "P.LOG"},
                "--report reads either the database (--records URL) or a log (--report LOG)"},
        Refusal{{"--records", "dbname=line", "--init", "--csv"},
                "--since and --csv go with --report"},
        Refusal{{"--report", "P.LOG", "--since", "18.11.2003"}, "--since needs a day, YYYY-MM-DD"},
        Refusal{{"--report", "P.LOG", "--since"}, "--since needs a value"},
        Refusal{{"--report", "P.LOG", "--bench", "b.json"},
                "unknown argument \"--bench\" with --records or --report"}));

}  // namespace
}  // namespace usbisp::station
