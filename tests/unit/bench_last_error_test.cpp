// What the bench's CreateFileA leaves for GetLastError when an open fails, and
// which opens a user without administrator rights is refused: on Windows 2000
// and XP a drive opened for reading or writing, and nothing else.
#include <gtest/gtest.h>

#include <string>

#include "bench_reader_fixture.h"
#include "platform/win_constants.h"

namespace usbisp::testing {
namespace {

constexpr std::uint32_t kReadWrite = win::kGenericRead | win::kGenericWrite;

struct OpenRow {
    const char* windows;
    bool limitedUser;
    const char* path;
    std::uint32_t access;
    std::uint32_t error;  // 0: the open succeeds
};

std::string BenchJson(const OpenRow& row) {
    return std::string(R"({"windows": ")") + row.windows + R"(", "limitedUser": )" +
           (row.limitedUser ? "true" : "false") +
           R"(, "drives": "C", "drivers": ["TAVDRV.SYS"], "readers": [{"letters": "E"}]})";
}

TEST(BenchLastError, EachFailedOpenLeavesWhyAndOnlyDrivesNeedAnAdministrator) {
    const OpenRow rows[] = {
        {"xp", false, "\\\\.\\E:", kReadWrite, 0},
        {"xp", true, "\\\\.\\E:", kReadWrite, win::kErrorAccessDenied},
        {"xp", true, "\\\\.\\C:", win::kGenericRead, win::kErrorAccessDenied},
        {"2000", true, "\\\\.\\e:", win::kGenericWrite, win::kErrorAccessDenied},
        // Asking for no access at all is allowed to everyone.
        {"xp", true, "\\\\.\\E:", 0, 0},
        // The maker's driver is no drive.
        {"2000", true, "\\\\.\\TAVDRV", kReadWrite, 0},
        // Windows 95, 98 and ME know no rights.
        {"98", true, "\\\\.\\E:", kReadWrite, 0},
        {"me", true, "\\\\.\\E:", kReadWrite, 0},
        // A drive that is not there stays not found, rights or not.
        {"xp", true, "\\\\.\\G:", kReadWrite, win::kErrorOpenFileNotFound},
        {"xp", false, "\\\\.\\G:", kReadWrite, win::kErrorOpenFileNotFound},
    };
    for (const OpenRow& row : rows) {
        BenchFixture fixture(BenchJson(row), false);
        const Handle handle = fixture.bench().CreateFileA(
            row.path, row.access, win::kFileShareRead | win::kFileShareWrite, win::kOpenExisting,
            0);
        const std::string what = std::string(row.windows) + " " + row.path +
                                 (row.limitedUser ? " limited" : " administrator");
        if (row.error == 0) {
            EXPECT_NE(handle, kInvalidHandle) << what;
            fixture.bench().CloseHandle(handle);
        } else {
            EXPECT_EQ(handle, kInvalidHandle) << what;
            EXPECT_EQ(fixture.bench().GetLastError(), row.error) << what;
        }
    }
}

TEST(BenchLastError, ASharedOpenRefusedIsASharingViolation) {
    BenchFixture fixture(R"({"windows": "xp", "readers": [{"letters": "E"}]})", false);
    sim::Bench& bench = fixture.bench();
    const Handle first = bench.CreateFileA("\\\\.\\E:", kReadWrite, 0, win::kOpenExisting, 0);
    ASSERT_NE(first, kInvalidHandle);
    EXPECT_EQ(bench.CreateFileA("\\\\.\\E:", kReadWrite, win::kFileShareRead | win::kFileShareWrite,
                                win::kOpenExisting, 0),
              kInvalidHandle);
    EXPECT_EQ(bench.GetLastError(), win::kErrorSharingViolation);
    bench.CloseHandle(first);
}

TEST(BenchLastError, TheLimitedUserKeyIsTrueOrFalse) {
    std::string error;
    EXPECT_FALSE(sim::ParseBenchConfig(R"({"limitedUser": "yes"})", ".", error));
    EXPECT_EQ(error, "key \"limitedUser\": must be true or false");
}

}  // namespace
}  // namespace usbisp::testing
