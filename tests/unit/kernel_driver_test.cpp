// The kernel driver: its device path, the presence check, and the records of
// its three requests byte by byte.
#include "device/kernel_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "bench_reader_fixture.h"

namespace usbisp {
namespace {

TEST(DriverDevicePath, BaseNameBeforeTheFirstDot) {
    EXPECT_EQ(DriverDevicePath("TAVDRV.SYS"), "\\\\.\\TAVDRV");
    EXPECT_EQ(DriverDevicePath("A.B.C"), "\\\\.\\A");
    EXPECT_EQ(DriverDevicePath("ABCDEFGHIJKLMN.SYS"), "\\\\.\\ABCDEFGHIJKLMN");  // 14
    // No dot, nothing before it, or 15 characters: a path that opens nothing.
    EXPECT_EQ(DriverDevicePath("TAVDRV"), "\\\\.\\");
    EXPECT_EQ(DriverDevicePath(".SYS"), "\\\\.\\");
    EXPECT_EQ(DriverDevicePath("ABCDEFGHIJKLMNO.SYS"), "\\\\.\\");
    EXPECT_EQ(DriverDevicePath(""), "\\\\.\\");
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

// Keeps a copy of every record that reaches the bench.
class RecordingBench : public sim::Bench {
  public:
    explicit RecordingBench(sim::BenchConfig config)
        : sim::Bench(std::move(config), "/nonexistent", nullptr, false) {}
    bool DeviceIoControl(Handle device, std::uint32_t code, void* in, std::uint32_t inSize,
                         void* out, std::uint32_t outSize, std::uint32_t* returned) override {
        const auto* bytes = static_cast<const std::uint8_t*>(in);
        records.emplace_back(bytes, bytes + inSize);
        outSizes.push_back(outSize);
        return sim::Bench::DeviceIoControl(device, code, in, inSize, out, outSize, returned);
    }
    std::vector<std::vector<std::uint8_t>> records;
    std::vector<std::uint32_t> outSizes;
};

sim::BenchConfig KernelBench() {
    std::string error;
    auto config = sim::ParseBenchConfig(
        R"({"windows": "2000", "drivers": ["TAVDRV.SYS"], "readers": [{"letters": "E"}]})", ".",
        error);
    EXPECT_TRUE(config) << error;
    return *config;
}

std::vector<std::uint8_t> Header(const std::vector<std::uint8_t>& record) {
    return std::vector<std::uint8_t>(record.begin(), record.begin() + 16);
}

TEST(KernelRequest, HeaderOfEachCode) {
    std::vector<std::uint8_t> record(16, 0xEE);
    FillKernelRequest(record.data(), kdrv::kIspTransfer, 1000, 1, nullptr);
    EXPECT_EQ(record, (std::vector<std::uint8_t>{0x0C, 0x20, 0x22, 0x00, 0xE8, 0x03, 0x00, 0x00,
                                                 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
    // The reply address travels as its low 32 bits.
    const auto* reply = reinterpret_cast<const void*>(std::uintptr_t{0x12345678});
    FillKernelRequest(record.data(), kdrv::kGetIspStatus, 0, 0, reply);
    EXPECT_EQ(record, (std::vector<std::uint8_t>{0x08, 0x20, 0x22, 0x00, 0, 0, 0, 0, 0, 0, 0, 0,
                                                 0x78, 0x56, 0x34, 0x12}));
}

TEST(KernelRequest, TransfersCarryTheExactCountInAFreshRecord) {
    RecordingBench bench(KernelBench());
    Transports transports;
    ASSERT_EQ(OpenKernelDriver(bench, transports, "TAVDRV.SYS", false), 0);
    KernelDriver driver(bench, transports);
    std::vector<std::uint8_t> image(65536);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i | 1);

    ASSERT_TRUE(driver.IspJump());
    driver.IspTransfer(image.data(), 1000, 0);
    driver.IspTransfer(image.data(), 500, 1);
    ASSERT_EQ(bench.records.size(), 3u);
    for (const auto& record : bench.records) EXPECT_EQ(record.size(), 65552u);
    EXPECT_EQ(bench.outSizes, (std::vector<std::uint32_t>{1, 0, 0}));
    EXPECT_EQ(Header(bench.records[1]), (std::vector<std::uint8_t>{0x0C, 0x20, 0x22, 0, 0xE8, 0x03,
                                                                   0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    // 1000 bytes of payload, not rounded to 1024; the rest of the data area
    // zero, also after a longer transfer before it.
    const auto& first = bench.records[1];
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 1000, first.begin() + 16));
    EXPECT_TRUE(std::all_of(first.begin() + 1016, first.end(), [](auto b) { return b == 0; }));
    const auto& second = bench.records[2];
    EXPECT_EQ(second[4], 0xF4);  // 500
    EXPECT_EQ(second[8], 1);     // verify
    EXPECT_TRUE(std::all_of(second.begin() + 516, second.end(), [](auto b) { return b == 0; }));

    // More than the data area holds is refused without a request.
    EXPECT_FALSE(driver.IspTransfer(image.data(), 65537, 0));
    EXPECT_EQ(bench.records.size(), 3u);
    EXPECT_TRUE(driver.IspTransfer(image.data(), 65536, 0));
    CloseKernelDriver(bench, transports);
}

TEST(KernelRequest, StatusReadStoresZeroWhenTheRequestFails) {
    // No reader behind the driver: every request fails.
    std::string error;
    auto config =
        sim::ParseBenchConfig(R"({"windows": "2000", "drivers": ["TAVDRV.SYS"]})", ".", error);
    sim::Bench bench(*config, "/nonexistent", nullptr, false);
    Transports transports;
    ASSERT_EQ(OpenKernelDriver(bench, transports, "TAVDRV.SYS", false), 0);
    KernelDriver driver(bench, transports);
    std::uint8_t status = 0x77;
    EXPECT_FALSE(driver.GetIspStatus(status));
    EXPECT_EQ(status, 0);
    CloseKernelDriver(bench, transports);
}

}  // namespace
}  // namespace usbisp
