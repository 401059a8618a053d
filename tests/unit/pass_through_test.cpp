// The pass-through transport against the bench: the header byte by byte, and
// for each primitive the request that reaches the drive (lengths, command
// block, direction, time-out) and what it hands back.
#include "device/pass_through.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "bench_reader_fixture.h"
#include "platform/sim/crc32.h"

namespace usbisp {
namespace {

using testing::BenchFixture;
using Lines = std::vector<std::string>;

constexpr char kBench[] = R"({
  "windows": "xp", "drives": "C",
  "readers": [{
    "letters": "E",
    "vid": "058f", "pid": "6362", "serial": "000000000001",
    "inquiry": {"vendor": "Generic", "product": "Flash Reader", "revision": "1.00"},
    "hardwareRevision": "76 20 43"
  }]
})";

constexpr char kOpenE[] = R"(io open "\\\\.\\E:" ok access=0xc0000000 share=0x3 flags=0x0)";
const std::string kIoctlE = R"(io ioctl "\\\\.\\E:" 0x4d004 )";

std::string CrcText(const std::vector<std::uint8_t>& bytes) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", sim::Crc32(bytes.data(), bytes.size()));
    return text;
}

struct PassThroughTest : ::testing::Test {
    BenchFixture fixture{kBench};
    Transports transports;
    PassThrough pt{fixture.bench(), transports};

    void OpenE() {
        ASSERT_TRUE(pt.OpenSelectedDrive(true, 'E'));
        EXPECT_EQ(fixture.Take(), Lines{kOpenE});
    }
};

TEST(PassThroughHeader, LaidOutAt32BitOffsets) {
    std::array<std::uint8_t, 44> header;
    header.fill(0xEE);
    FillPassThroughHeader(header.data(), IspTransferCommand(1000, 1024, 0));
    const std::array<std::uint8_t, 44> expected = {
        0x2C, 0x00,              // Length 44
        0x00,                    // ScsiStatus
        0x00, 0x01, 0x00,        // PathId, TargetId, Lun
        0x0C, 0x18, 0x00,        // CdbLength 12, SenseInfoLength 24, DataIn out
        0x00, 0x00, 0x00,        // padding
        0x00, 0x04, 0x00, 0x00,  // DataTransferLength 1024
        0x1E, 0x00, 0x00, 0x00,  // TimeOutValue 30
        0x50, 0x00, 0x00, 0x00,  // DataBufferOffset 80
        0x30, 0x00, 0x00, 0x00,  // SenseInfoOffset 48
        0x06, 0xB1, 0x00, 0x00, 0xE8, 0x03, 0x02, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(header, expected);
}

TEST_F(PassThroughTest, InquiryAndIdentityReads) {
    OpenE();
    std::array<std::uint8_t, 36> inquiry{};
    ASSERT_TRUE(pt.Inquiry(0, inquiry.data()));
    EXPECT_EQ(std::string(inquiry.begin() + 8, inquiry.end()), "Generic Flash Reader    1.00");

    std::array<std::uint8_t, 528> block{};
    ASSERT_TRUE(pt.ReadIdentity(block.data()));
    EXPECT_EQ(block[8], 0x8F);
    EXPECT_EQ(block[9], 0x05);
    EXPECT_EQ(block[382], 0x76);
    EXPECT_EQ(fixture.Take(),
              (Lines{kIoctlE + "in=44 out=116 ok cdb=120000002400000000000000 dir=in xfer=36 "
                               "timeout=2 scsi=00",
                     kIoctlE + "in=44 out=608 ok cdb=060500000000000080000000 dir=in xfer=528 "
                               "timeout=2 scsi=00"}));
    pt.CloseSelectedDrive();
    EXPECT_EQ(transports.driveHandle, kNullHandle);
    EXPECT_EQ(fixture.Take(), Lines{R"(io close "\\\\.\\E:")"});
}

TEST_F(PassThroughTest, IspSequenceRequests) {
    OpenE();
    ASSERT_TRUE(pt.IspJump());
    std::uint8_t status = 0;
    ASSERT_TRUE(pt.GetIspStatus(status));
    EXPECT_EQ(status, IspStatusJumpOk);

    std::vector<std::uint8_t> image(1000);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 1);
    pt.LoadPayload(image.data(), image.size());
    ASSERT_TRUE(pt.IspTransfer(1000, 1024, 0));
    ASSERT_TRUE(pt.GetIspStatus(status));
    EXPECT_EQ(status, IspStatusWriteOk);

    // The data phase is the image and 24 zeros.
    std::vector<std::uint8_t> phase = image;
    phase.resize(1024, 0);
    EXPECT_EQ(fixture.Take(),
              (Lines{kIoctlE + "in=44 out=80 ok cdb=06bf00000800000000000000 dir=in xfer=0 "
                               "timeout=2 scsi=00",
                     kIoctlE + "in=44 out=88 ok cdb=06b000000800000000000000 dir=in xfer=8 "
                               "timeout=30 scsi=00",
                     kIoctlE +
                         "in=1104 out=1104 ok cdb=06b10000e803020000000000 dir=out "
                         "xfer=1024 timeout=30 scsi=00 data=" +
                         CrcText(phase),
                     kIoctlE + "in=44 out=88 ok cdb=06b000000800000000000000 dir=in xfer=8 "
                               "timeout=30 scsi=00"}));
    EXPECT_EQ(fixture.bench().ReaderFirmware(0), image);
}

TEST_F(PassThroughTest, LargestTransferUsesTheWholeBuffer) {
    OpenE();
    ASSERT_TRUE(pt.IspJump());
    std::vector<std::uint8_t> image(65535, 0x5A);
    pt.LoadPayload(image.data(), image.size());
    fixture.Take();
    ASSERT_TRUE(pt.IspTransfer(65535, 65536, 1));
    std::vector<std::uint8_t> phase = image;
    phase.push_back(0);
    EXPECT_EQ(fixture.Take(), Lines{kIoctlE +
                                    "in=65616 out=65616 ok cdb=06b20100ffff800000000000 dir=out "
                                    "xfer=65536 timeout=30 scsi=00 data=" +
                                    CrcText(phase)});
    // Beyond the data area nothing is sent.
    EXPECT_FALSE(pt.IspTransfer(65535, 66048, 0));
    EXPECT_FALSE(pt.IspTransfer(1025, 1024, 0));
    EXPECT_TRUE(fixture.Take().empty());
}

TEST_F(PassThroughTest, StatusChecksAndFailedReads) {
    // Closed path: every request fails; the status read hands back the zero
    // the primitive left in the data area.
    std::uint8_t status = 0xEE;
    EXPECT_FALSE(pt.GetIspStatus(status));
    EXPECT_EQ(status, 0);
    std::array<std::uint8_t, 528> block;
    block.fill(0xEE);
    EXPECT_FALSE(pt.ReadIdentity(block.data()));
    EXPECT_EQ(block[0], 0xEE);
    EXPECT_EQ(block[527], 0xEE);
}

TEST_F(PassThroughTest, OpenSelectedDriveOfAnEmptySlotLeavesTheHandle) {
    transports.driveHandle = 0x1234;
    EXPECT_FALSE(pt.OpenSelectedDrive(false, 'E'));
    EXPECT_EQ(transports.driveHandle, 0x1234u);
    EXPECT_TRUE(fixture.Take().empty());
    // A drive that does not open leaves the handle null.
    EXPECT_FALSE(pt.OpenSelectedDrive(true, 'Q'));
    EXPECT_EQ(transports.driveHandle, kNullHandle);
}

TEST_F(PassThroughTest, CountCommandsNeedTheKernelDriver) {
    OpenE();
    EXPECT_EQ(pt.GetDeviceCount("TAVDRV.SYS"), 0);
    EXPECT_EQ(fixture.Take(),
              (Lines{R"(io open "\\\\.\\TAVDRV" fail access=0xc0000000 share=0x0 flags=0x0)",
                     R"(stdout "Loading Tavdrv.Sys is Failed!\n")"}));
}

TEST(PassThroughCounts, AnsweredThroughTheKernelDriver) {
    BenchFixture fixture(R"({"windows": "2000", "drivers": ["TAVDRV.SYS"],
        "readers": [{"letters": "EFG"}, {"letters": "H"}]})");
    Transports transports;
    PassThrough pt(fixture.bench(), transports);
    ASSERT_TRUE(pt.OpenSelectedDrive(true, 'E'));
    fixture.Take();
    EXPECT_EQ(pt.GetDeviceCount("TAVDRV.SYS"), 2);
    EXPECT_EQ(pt.GetLunCount("TAVDRV.SYS"), 3);
    EXPECT_EQ(fixture.Take(),
              (Lines{R"(io open "\\\\.\\TAVDRV" ok access=0xc0000000 share=0x0 flags=0x0)",
                     R"(io close "\\\\.\\TAVDRV")",
                     kIoctlE + "in=44 out=88 ok cdb=ff0100000000000000000000 dir=in xfer=8 "
                               "timeout=2 scsi=00",
                     R"(io open "\\\\.\\TAVDRV" ok access=0xc0000000 share=0x0 flags=0x0)",
                     R"(io close "\\\\.\\TAVDRV")",
                     kIoctlE + "in=44 out=88 ok cdb=ff0200000000000000000000 dir=in xfer=8 "
                               "timeout=2 scsi=00"}));
    std::array<std::uint8_t, 512> block{};
    EXPECT_TRUE(pt.ReadIdentityBlock2(block.data(), IdentityBlockAddress, 1));
    EXPECT_TRUE(pt.ReadIdentityBlock(block.data(), IdentityBlockAddress, 1));
    EXPECT_EQ(fixture.Take(),
              (Lines{kIoctlE + "in=44 out=592 ok cdb=ff1304a55a30000001000000 dir=in xfer=512 "
                               "timeout=2 scsi=00",
                     kIoctlE + "in=44 out=592 ok cdb=ff0304a55a30000001000000 dir=in xfer=512 "
                               "timeout=2 scsi=00"}));
}

// A reader that refuses an identity read answers CHECK CONDITION with no
// data: the read fails and the caller's buffer keeps what it held.
TEST(PassThroughIdentityReads, FailUnlessTheStatusIsGood) {
    using Read = bool (*)(PassThrough&, std::uint8_t*);
    const std::pair<const char*, Read> kReads[] = {
        {"Inquiry", [](PassThrough& pt, std::uint8_t* to) { return pt.Inquiry(0, to); }},
        {"ReadIdentity", [](PassThrough& pt, std::uint8_t* to) { return pt.ReadIdentity(to); }},
        {"ReadIdentityBlock",
         [](PassThrough& pt, std::uint8_t* to) {
             return pt.ReadIdentityBlock(to, IdentityBlockAddress, 1);
         }},
        {"ReadIdentityBlock2",
         [](PassThrough& pt, std::uint8_t* to) {
             return pt.ReadIdentityBlock2(to, IdentityBlockAddress, 1);
         }},
    };
    for (const auto& [name, read] : kReads) {
        for (const char* status : {"02", "08"}) {
            BenchFixture fixture(std::string(R"({"windows": "2000", "drivers": ["TAVDRV.SYS"],
                "readers": [{"letters": "E", "serial": "000000000001",
                             "scsiStatus": {")") +
                                 name + R"(#1": ")" + status + R"("}}]})");
            Transports transports;
            PassThrough pt(fixture.bench(), transports);
            ASSERT_TRUE(pt.OpenSelectedDrive(true, 'E'));
            std::array<std::uint8_t, 528> buffer;
            buffer.fill(0xEE);
            EXPECT_FALSE(read(pt, buffer.data())) << name << " status " << status;
            EXPECT_EQ(pt.ScsiStatus(), std::stoi(status, nullptr, 16)) << name;
            EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](auto b) { return b == 0xEE; }))
                << name << " wrote into the buffer";
            // The next one is answered with GOOD and read.
            EXPECT_TRUE(read(pt, buffer.data())) << name;
        }
    }
}

}  // namespace
}  // namespace usbisp
