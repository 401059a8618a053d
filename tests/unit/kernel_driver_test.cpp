// The kernel driver's device path and its presence check.
#include "device/kernel_driver.h"

#include <gtest/gtest.h>

#include "bench_reader_fixture.h"

namespace usbisp {
namespace {

TEST(KernelDriverPath, BaseNameBeforeTheFirstDot) {
    EXPECT_EQ(KernelDriverPath("TAVDRV.SYS"), "\\\\.\\TAVDRV");
    EXPECT_EQ(KernelDriverPath("A.B.C"), "\\\\.\\A");
    EXPECT_EQ(KernelDriverPath("ABCDEFGHIJKLMN.SYS"), "\\\\.\\ABCDEFGHIJKLMN");  // 14
    // No dot, nothing before it, or 15 characters: a path that opens nothing.
    EXPECT_EQ(KernelDriverPath("TAVDRV"), "\\\\.\\");
    EXPECT_EQ(KernelDriverPath(".SYS"), "\\\\.\\");
    EXPECT_EQ(KernelDriverPath("ABCDEFGHIJKLMNO.SYS"), "\\\\.\\");
    EXPECT_EQ(KernelDriverPath(""), "\\\\.\\");
}

TEST(OpenKernelDriver, CheckModeClosesAgainKeepModeKeeps) {
    testing::BenchFixture fixture(R"({"windows": "2000", "drivers": ["TAVDRV.SYS"]})");
    Transports transports;
    EXPECT_EQ(OpenKernelDriver(fixture.bench(), transports, "TAVDRV.SYS", true), 0);
    EXPECT_EQ(transports.kernelDriverHandle, kNullHandle);
    EXPECT_EQ(OpenKernelDriver(fixture.bench(), transports, "TAVDRV.SYS", false), 0);
    EXPECT_NE(transports.kernelDriverHandle, kNullHandle);
    CloseKernelDriver(fixture.bench(), transports);
    EXPECT_EQ(transports.kernelDriverHandle, kNullHandle);
    EXPECT_EQ(fixture.Take(),
              (std::vector<std::string>{
                  R"(io open "\\\\.\\TAVDRV" ok access=0xc0000000 share=0x0 flags=0x0)",
                  R"(io close "\\\\.\\TAVDRV")",
                  R"(io open "\\\\.\\TAVDRV" ok access=0xc0000000 share=0x0 flags=0x0)",
                  R"(io close "\\\\.\\TAVDRV")"}));
}

TEST(OpenKernelDriver, FailureWritesItsLine) {
    testing::BenchFixture fixture(R"({"windows": "2000", "drivers": ["TAVDRV.SYS"]})");
    Transports transports;
    transports.kernelDriverHandle = 0x77;
    EXPECT_EQ(OpenKernelDriver(fixture.bench(), transports, "TAVDRV", true), 1);
    EXPECT_EQ(transports.kernelDriverHandle, kNullHandle);
    EXPECT_EQ(fixture.Take(), (std::vector<std::string>{
                                  R"(io open "\\\\.\\" fail access=0xc0000000 share=0x0 flags=0x0)",
                                  R"(stdout "Loading Tavdrv.Sys is Failed!\n")"}));
}

}  // namespace
}  // namespace usbisp
