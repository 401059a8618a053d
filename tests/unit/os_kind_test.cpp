#include "app/os_kind.h"

#include <gtest/gtest.h>

#include "platform/sim/bench_config.h"

namespace usbisp {
namespace {

TEST(ClassifyVersion, NineXFamilyByMinorVersion) {
    EXPECT_EQ(ClassifyVersion(0x80000004u), OsWin9x);  // Windows 95, 4.0
    EXPECT_EQ(ClassifyVersion(0xC0000A04u), OsWin9x);  // Windows 98, 4.10
    EXPECT_EQ(ClassifyVersion(0xC0005A04u), OsWinMe);  // Windows ME, 4.90
    EXPECT_EQ(ClassifyVersion(0x80000A03u), OsUnsupported);
    EXPECT_EQ(ClassifyVersion(0x80001404u), OsUnsupported);  // 4.20
    // A 9x word with an NT version number is still the 9x family.
    EXPECT_EQ(ClassifyVersion(0x80000105u), OsUnsupported);
}

TEST(ClassifyVersion, NtFamilyByMinorVersion) {
    EXPECT_EQ(ClassifyVersion(0x08930005u), OsWin2000);
    EXPECT_EQ(ClassifyVersion(0x0A280105u), OsWinXP);
    EXPECT_EQ(ClassifyVersion(0x05650004u), OsUnsupported);  // NT 4.0
    EXPECT_EQ(ClassifyVersion(0x00000A04u), OsUnsupported);  // 4.10 without the 9x bit
    EXPECT_EQ(ClassifyVersion(0x0ECE0205u), OsUnsupported);  // Server 2003, 5.2
    EXPECT_EQ(ClassifyVersion(0x17700006u), OsUnsupported);
}

TEST(ClassifyVersion, EveryBenchWindowsValue) {
    const std::pair<const char*, OsKind> kCases[] = {
        {"95", OsWin9x},         {"98", OsWin9x},          {"me", OsWinMe},
        {"2000", OsWin2000},     {"xp", OsWinXP},          {"nt4", OsUnsupported},
        {"2003", OsUnsupported}, {"vista", OsUnsupported}, {"7", OsUnsupported},
        {"10", OsUnsupported}};
    for (const auto& [windows, kind] : kCases) {
        auto word = sim::VersionWordFor(windows);
        ASSERT_TRUE(word.has_value()) << windows;
        EXPECT_EQ(ClassifyVersion(*word), kind) << windows;
    }
    EXPECT_FALSE(sim::VersionWordFor("xp64").has_value());
}

}  // namespace
}  // namespace usbisp
