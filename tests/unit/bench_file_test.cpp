// The bench file's firmware key: a file is read up to one byte past what a
// controller can hold, never further; an identity layout is twelve bytes
// from its address file or written out. The ASPI keys refuse what the library
// could not carry out.
#include <gtest/gtest.h>

#include <string>
#include <utility>

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

TEST(BenchFileIdentityLayout, TwelveBytesFromTheAddressFileOrWrittenOut) {
    test::TempDir dir;
    dir.Write("ROM.adr", std::string("\x00\x02\x00\x00\x06\x00\x00\x00\x0d\x00\x00\x00", 12));
    // Bytes after the three numbers are not read.
    dir.Write("LONG.adr", std::string("\xff\xff\xff\xff\x01\x00\x00\x00\x02\x00\x00\x00zz", 14));
    dir.Write("SHORT.adr", std::string(11, '\0'));
    struct Case {
        const char* layout;
        std::int32_t base, factorA, factorB;
        const char* error;
    };
    const Case cases[] = {
        {"@ROM.adr", 0x200, 6, 13, ""},
        {"@LONG.adr", -1, 1, 2, ""},
        {"00 02 00 00 06 00 00 00 0d 00 00 00", 0x200, 6, 13, ""},
        {"@SHORT.adr", 0, 0, 0,
         "key \"readers[0].identityLayout\": needs 12 bytes (three 32-bit numbers), has 11"},
        {"0002", 0, 0, 0,
         "key \"readers[0].identityLayout\": needs 12 bytes (three 32-bit numbers), has 2"},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto config =
            ParseBenchConfig(std::string(R"({"readers": [{"letters": "E", "identityLayout": ")") +
                                 c.layout + "\"}]}",
                             dir.path(), error);
        EXPECT_EQ(error, c.error) << c.layout;
        if (!config) continue;
        ASSERT_TRUE(config->readers[0].identityLayout.has_value()) << c.layout;
        EXPECT_EQ(config->readers[0].identityLayout->baseOffset, c.base) << c.layout;
        EXPECT_EQ(config->readers[0].identityLayout->factorA, c.factorA) << c.layout;
        EXPECT_EQ(config->readers[0].identityLayout->factorB, c.factorB) << c.layout;
    }
    std::string error;
    const auto without = ParseBenchConfig(R"({"readers": [{"letters": "E"}]})", dir.path(), error);
    ASSERT_TRUE(without);
    EXPECT_FALSE(without->readers[0].identityLayout.has_value());
}

TEST(BenchFileText, ANumberTooLargeForADoubleIsInvalidJsonNotACrash) {
    std::string error;
    EXPECT_FALSE(ParseBenchConfig(R"({"aspi": {"adapters": 1e999}})", ".", error));
    EXPECT_EQ(error.rfind("not valid JSON: ", 0), 0u) << error;
}

TEST(BenchFileAspi, KeysThatCannotBeCarriedOutAreRefused) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"aspi": {"adapters": 1, "failures": ["FreeLibrary"]}})",
         "key \"aspi.failures\": unknown call \"FreeLibrary\" (LoadLibrary, "
         "GetASPI32SupportInfo)"},
        {R"({"aspi": {"adapters": 1, "failures": ["LoadLibrary#0"]}})",
         "key \"aspi.failures\": \"LoadLibrary#0\": the call number must be 1 or more"},
        {R"({"aspi": {"adapters": 1, "immediateFailures": "drop"}})",
         "key \"aspi.immediateFailures\": must be \"post\", \"return\" or \"return-and-post\""},
        {R"({"aspi": {"adapters": 1, "latency": 3600001}})",
         "key \"aspi.latency\": must be milliseconds, 0 to 3600000"},
        {R"({"readers": [{"delays": {"IspJump": 40000}}]})",
         "key \"readers[0].delays.IspJump\": \"IspJump\" needs a request number (Name#n)"},
        {R"({"readers": [{"delays": {"IspJump#1": -1}}]})",
         "key \"readers[0].delays.IspJump#1\": must be milliseconds, 0 to 3600000"},
        // A swap needs two readers of the bench, one of them on ASPI.
        {R"({"aspi": {"adapters": 1, "swap": {"after": 9, "readers": [0, 0]}},)"
         R"( "readers": [{"aspi": [0, 1]}]})",
         "key \"aspi.swap.readers\": must name two readers of the bench (0-based)"},
        {R"({"aspi": {"adapters": 1, "swap": {"after": 9, "readers": [0, 2]}},)"
         R"( "readers": [{"aspi": [0, 1]}, {}]})",
         "key \"aspi.swap.readers\": must name two readers of the bench (0-based)"},
        {R"({"aspi": {"adapters": 1, "swap": {"after": 9, "readers": [0, 1]}},)"
         R"( "readers": [{}, {}]})",
         "key \"aspi.swap.readers\": neither reader has an ASPI address"},
        {R"({"aspi": {"adapters": 1, "swap": {"after": 0, "readers": [0, 1]}}})",
         "key \"aspi.swap\": must be {\"after\": n, \"readers\": [i, j]}"},
    };
    for (const auto& [bench, what] : cases) {
        std::string error;
        EXPECT_FALSE(ParseBenchConfig(bench, ".", error)) << bench;
        EXPECT_EQ(error, what) << bench;
    }
}

}  // namespace
}  // namespace usbisp::sim

namespace usbisp::sim {
namespace {

TEST(BenchFileNames, AnUnknownNameListsTheValidOnes) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"readers": [{"failures": ["Bogus"]}]})",
         "key \"readers[0].failures\": unknown operation \"Bogus\" (Open, Inquiry, ReadIdentity, "
         "IspJump, GetIspStatus, IspWrite, IspVerify, GetDeviceCount, GetLunCount, "
         "ReadIdentityBlock, ReadIdentityBlock2, GetFirmwareRevision, WriteAddressedBlock)"},
        // The switch of the companion is a block write to `failures`, a
        // command only to `answers`.
        {R"({"readers": [{"scsiStatus": {"MsJump#1": "02"}}]})",
         "key \"readers[0].scsiStatus.MsJump#1\": unknown operation \"MsJump\" (Open, Inquiry, "
         "ReadIdentity, IspJump, GetIspStatus, IspWrite, IspVerify, GetDeviceCount, "
         "GetLunCount, ReadIdentityBlock, ReadIdentityBlock2, GetFirmwareRevision, "
         "WriteAddressedBlock)"},
        {R"({"readers": [{"answers": {"GetIspStatus": ["5a"]}}]})",
         "key \"readers[0].answers.GetIspStatus\": unknown command (IspJump, IspWrite, "
         "IspVerify, MsJump)"},
        {R"({"aspi": {"adapters": 1, "missing": ["SendASPICommand"]}})",
         "key \"aspi.missing\": unknown entry point \"SendASPICommand\" "
         "(GetASPI32SupportInfo, SendASPI32Command)"},
    };
    for (const auto& [bench, what] : cases) {
        std::string error;
        EXPECT_FALSE(ParseBenchConfig(bench, ".", error)) << bench;
        EXPECT_EQ(error, what) << bench;
    }
}

}  // namespace
}  // namespace usbisp::sim
