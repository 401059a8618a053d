// The bench file's firmware key: a file is read up to one byte past what a
// controller can hold, never further.
#include <gtest/gtest.h>

#include <string>

#include "platform/sim/bench_config.h"
#include "support/test_support.h"

namespace usbisp::sim {
namespace {

TEST(BenchFileFirmware, AFileIsReadNoFurtherThanAFirmwareCanReach) {
    test::TempDir dir;
    dir.Write("FULL.BIN", std::string(65536, 'x'));
    dir.Write("OVER.BIN", std::string(65537, 'x'));
    struct Case {
        const char* firmware;
        std::size_t size;  // of the firmware, when accepted
        const char* error;
    };
    const Case cases[] = {
        {"@FULL.BIN", 65536, ""},
        {"@OVER.BIN", 0, "key \"readers[0].firmware\": longer than 65536 bytes"},
        // A device without end is refused, not read until memory runs out.
        {"@../../../../../../../../dev/zero", 0,
         "key \"readers[0].firmware\": longer than 65536 bytes"},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto config = ParseBenchConfig(
            std::string(R"({"readers": [{"letters": "E", "firmware": ")") + c.firmware + "\"}]}",
            dir.path(), error);
        EXPECT_EQ(error, c.error) << c.firmware;
        if (config) {
            EXPECT_EQ(config->readers[0].firmware.size(), c.size);
        }
    }
}

TEST(BenchFileText, ANumberTooLargeForADoubleIsInvalidJsonNotACrash) {
    std::string error;
    EXPECT_FALSE(ParseBenchConfig(R"({"aspi": {"adapters": 1e999}})", ".", error));
    EXPECT_EQ(error.rfind("not valid JSON: ", 0), 0u) << error;
}

}  // namespace
}  // namespace usbisp::sim
