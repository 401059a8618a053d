// The bench's kernel driver: what it checks in each request record, how it
// reaches the first reader, and the opens it counts and shares.
#include <gtest/gtest.h>

#include <vector>

#include "bench_reader_fixture.h"
#include "device/kernel_driver.h"
#include "platform/win_constants.h"

namespace usbisp {
namespace {

using testing::BenchFixture;
using Lines = std::vector<std::string>;

constexpr char kBench[] = R"({"windows": "2000", "drivers": ["TAVDRV.SYS"],
  "driverOpenFailures": ["TAVDRV.SYS#4"],
  "readers": [{"letters": "E"}, {"letters": "F"}]})";
const std::string kIoctl = R"(io ioctl "\\\\.\\TAVDRV" )";

struct Request {
    std::uint32_t code;
    std::vector<std::uint8_t> record = std::vector<std::uint8_t>(65552, 0);
    std::uint32_t in = 65552;
    std::uint32_t out = 1;
    std::uint8_t reply = 0xEE;
};

Request Make(std::uint32_t code, std::uint32_t count = 0, std::uint32_t mode = 0) {
    Request r{code};
    FillKernelRequest(r.record.data(), code, count, mode, nullptr);
    if (code == kdrv::kIspTransfer) r.out = 0;
    return r;
}

class BenchKernelDriver : public ::testing::Test {
  protected:
    BenchKernelDriver() : fixture(kBench) {
        handle = fixture.bench().CreateFileA("\\\\.\\TAVDRV", 0xC0000000u, 0, 3, 0);
        fixture.Take();
    }
    ~BenchKernelDriver() override { fixture.bench().CloseHandle(handle); }
    std::string Send(Request& r) {
        std::uint32_t returned = 0;
        fixture.bench().DeviceIoControl(handle, r.code, r.record.data(), r.in,
                                        r.out ? &r.reply : nullptr, r.out, &returned);
        const Lines lines = fixture.Take();
        return lines.empty() ? "" : lines.back();
    }
    BenchFixture fixture;
    Handle handle = kNullHandle;
};

TEST_F(BenchKernelDriver, MalformedRecordsAreRefusedWithAReason) {
    struct Row {
        const char* name;
        Request request;
        std::string line;
    };
    Request wrongCode = Make(kdrv::kIspJump);
    wrongCode.record[0] = 0x08;
    Request shortRecord = Make(kdrv::kIspJump);
    shortRecord.in = 65536;
    Request noReply = Make(kdrv::kGetIspStatus);
    noReply.out = 0;
    Request replyOnTransfer = Make(kdrv::kIspTransfer, 1000, 0);
    replyOnTransfer.out = 1;
    const Row rows[] = {
        {"record of another code", wrongCode,
         kIoctl + "0x222004 in=65552 out=1 fail count=0 mode=0"
                  R"( reason="record code 0x222008 is not the control code 0x222004")"},
        {"short record", shortRecord,
         kIoctl + R"(0x222004 in=65536 out=1 fail reason="input length 65536 is not 65552")"},
        {"status read without its reply byte", noReply,
         kIoctl +
             R"(0x222008 in=65552 out=0 fail count=0 mode=0 reason="reply length 0 is not 1")"},
        {"jump with a count", Make(kdrv::kIspJump, 5, 0),
         kIoctl +
             R"(0x222004 in=65552 out=1 fail count=5 mode=0 reason="count and mode are not 0")"},
        {"transfer with a reply", replyOnTransfer,
         kIoctl + "0x22200c in=65552 out=1 fail count=1000 mode=0"
                  R"( reason="reply length 1 is not 0")"},
        {"empty transfer", Make(kdrv::kIspTransfer, 0, 0),
         kIoctl + "0x22200c in=65552 out=0 fail count=0 mode=0"
                  R"( reason="count 0 is not 1 to 65536")"},
        {"transfer past the data area", Make(kdrv::kIspTransfer, 65537, 0),
         kIoctl + "0x22200c in=65552 out=0 fail count=65537 mode=0"
                  R"( reason="count 65537 is not 1 to 65536")"},
        {"unknown mode", Make(kdrv::kIspTransfer, 16, 2),
         kIoctl + "0x22200c in=65552 out=0 fail count=16 mode=2"
                  R"x( reason="mode 2 is neither program (0) nor verify (1)")x"},
        {"unknown control code", Make(0x222010),
         kIoctl + R"(0x222010 in=65552 out=1 fail reason="control code not served by the driver")"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Request request = row.request;
        EXPECT_EQ(Send(request), row.line);
    }
}

TEST_F(BenchKernelDriver, ReachesTheFirstReader) {
    Request jump = Make(kdrv::kIspJump);
    EXPECT_EQ(Send(jump), kIoctl + "0x222004 in=65552 out=1 ok count=0 mode=0");
    Request status = Make(kdrv::kGetIspStatus);
    EXPECT_EQ(Send(status), kIoctl + "0x222008 in=65552 out=1 ok count=0 mode=0");
    EXPECT_EQ(status.reply, 0x9C);
    Request write = Make(kdrv::kIspTransfer, 3, 0);
    write.record[16] = 'a';
    write.record[17] = 'b';
    write.record[18] = 'c';
    // CRC-32 of "abc".
    EXPECT_EQ(Send(write), kIoctl + "0x22200c in=65552 out=0 ok count=3 mode=0 data=352441c2");
    EXPECT_EQ(fixture.bench().ReaderFirmware(0), (std::vector<std::uint8_t>{'a', 'b', 'c'}));
    EXPECT_TRUE(fixture.bench().ReaderFirmware(1).empty());
}

TEST(BenchDriverOpens, ExclusiveOpensAndCountedFailures) {
    BenchFixture fixture(kBench);
    sim::Bench& bench = fixture.bench();
    // Windows 2000 refuses a second open of a device opened exclusively.
    const Handle first = bench.CreateFileA("\\\\.\\TAVDRV", 0xC0000000u, 0, 3, 0);
    EXPECT_NE(first, kInvalidHandle);
    EXPECT_EQ(bench.CreateFileA("\\\\.\\TAVDRV", 0xC0000000u, 0, 3, 0), kInvalidHandle);
    EXPECT_EQ(bench.CreateFileA("\\\\.\\TAVDRV", 0xC0000000u, 3, 3, 0), kInvalidHandle);
    EXPECT_EQ(bench.openHandleCount(), 1u);
    bench.CloseHandle(first);
    // The refused opens reached no driver; of the driver's own opens the bench
    // fails the fourth.
    for (int open = 2; open <= 5; ++open) {
        SCOPED_TRACE(open);
        const Handle handle = bench.CreateFileA("\\\\.\\TAVDRV", 0xC0000000u, 0, 3, 0);
        EXPECT_EQ(handle == kInvalidHandle, open == 4);
        if (handle != kInvalidHandle) bench.CloseHandle(handle);
    }
    EXPECT_EQ(bench.openHandleCount(), 0u);
}

}  // namespace
}  // namespace usbisp
