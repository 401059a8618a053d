// docs/bench.md is the reference a user writes a bench file from: every key
// path the bench's and the station's readers accept is named there, and so is
// every operation the fault keys take.
#include <gtest/gtest.h>

#include <string>

#include "emulator/operations.h"
#include "station/bench_timeline.h"
#include "support/test_support.h"

namespace usbisp::station {
namespace {

const std::string& Reference() {
    static const std::string text = test::ReadFile(USBISP_DOCS_DIR "/bench.md");
    return text;
}

bool Names(const std::string& name) {
    return Reference().find("`" + name + "`") != std::string::npos;
}

TEST(BenchReference, NamesEveryKeyTheBenchFileTakes) {
    ASSERT_FALSE(Reference().empty());
    for (const std::string& path : StationBenchKeys())
        EXPECT_TRUE(Names(path)) << "docs/bench.md does not name `" << path << "`";
}

TEST(BenchReference, NamesEveryOperationOfTheFaultKeys) {
    int named = 0;
    for (int i = 0; *sim::OperationName(static_cast<sim::Operation>(i)) != '\0'; ++i) {
        const std::string name = sim::OperationName(static_cast<sim::Operation>(i));
        EXPECT_TRUE(Names(name)) << "docs/bench.md does not name `" << name << "`";
        ++named;
    }
    EXPECT_GE(named, 14);
}

}  // namespace
}  // namespace usbisp::station
