// The bench's card readers: the identity block they deliver, the controller's
// in-system-programming behaviour, the injected faults, and the checks every
// pass-through request passes before it reaches a drive.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <vector>

#include "bench_reader_fixture.h"
#include "device/pass_through.h"
#include "emulator/reader_identity.h"
#include "platform/byte_order.h"
#include "platform/win_constants.h"

namespace usbisp {
namespace {

using testing::BenchFixture;
using Lines = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

TEST(ReaderIdentity, BlockAtItsOffsets) {
    sim::ReaderConfig r;
    r.vid = 0x058F;
    r.pid = 0x6362;
    r.manufacturer = "Gen";
    r.product = "Rdr";
    r.serial = "A1B2";
    r.inquiryVendor = "Ven     ";
    r.inquiryProduct = "Prod            ";
    r.inquiryRevision = "1.00";
    r.firmwareRevision = {1, 2, 3, 3, 5, 0x14, 1, 2};
    r.firmwareRevisionOrg = {1, 2, 0x35, 0x14};
    r.hardwareRevision = {0x76, 0x20, 0x43};
    r.usb20FirmwareRevision = {9, 8, 7, 6, 5, 4, 3, 2};

    sim::SimIdentityBlock expected{};
    expected[8] = 0x8F;
    expected[9] = 0x05;
    expected[10] = 0x62;
    expected[11] = 0x63;
    auto put = [&](std::size_t at, const std::string& text) {
        for (std::size_t i = 0; i < text.size(); ++i)
            expected[at + i] = static_cast<std::uint8_t>(text[i]);
    };
    put(46, "Gen");
    put(72, "Rdr");
    put(98, std::string("A\0"
                        "1\0"
                        "B\0"
                        "2\0",
                        8));
    for (std::size_t i = 0; i < 8; ++i) expected[148 + i] = r.firmwareRevision[i];
    put(156, "Prod            ");
    put(176, "Ven     ");
    put(184, "1.00");
    put(188, "evMr.1a3");  // "verM1.3a", each pair swapped
    put(378, "\x01\x02\x35\x14");
    put(382, "\x76\x20\x43");
    for (std::size_t i = 0; i < 8; ++i) expected[520 + i] = r.usb20FirmwareRevision[i];

    EXPECT_EQ(sim::BuildIdentityBlock(r, "verM1.3a"), expected);
}

constexpr char kReader[] = R"({
  "windows": "xp", "drives": "C",
  "readers": [{"letters": "E", "serial": "000000000001",
               "inquiry": {"vendor": "Generic", "product": "Flash Reader", "revision": "1.00"}%s}]
})";

std::string ReaderBench(const std::string& extraKeys) {
    std::string text = kReader;
    text.replace(text.find("%s"), 2, extraKeys);
    return text;
}

struct ReaderTest : ::testing::Test {
    void Start(const std::string& extraKeys = "") {
        fixture = std::make_unique<BenchFixture>(ReaderBench(extraKeys));
        pt = std::make_unique<PassThrough>(fixture->bench(), transports);
        ASSERT_TRUE(pt->OpenSelectedDrive(true, 'E'));
        fixture->Take();
    }
    std::uint8_t Status() {
        std::uint8_t status = 0xEE;
        EXPECT_TRUE(pt->GetIspStatus(status));
        return status;
    }
    bool Transfer(const Bytes& payload, std::uint8_t mode) {
        pt->LoadPayload(payload.data(), payload.size());
        const auto n = static_cast<std::uint32_t>(payload.size());
        return pt->IspTransfer(n, RoundedLength(n), mode);
    }
    bool ReadIdentity() {
        std::array<std::uint8_t, 528> block{};
        return pt->ReadIdentity(block.data());
    }

    Transports transports;
    std::unique_ptr<BenchFixture> fixture;
    std::unique_ptr<PassThrough> pt;
};

TEST_F(ReaderTest, SoundControllerThroughIspAndReplug) {
    Start(R"(, "firmware": "0102")");
    EXPECT_EQ(Status(), 0x00);  // nothing to report
    const Bytes image(1000, 0x42);
    EXPECT_FALSE(Transfer(image, 0));  // outside ISP mode
    EXPECT_FALSE(Transfer(image, 1));
    EXPECT_EQ(fixture->bench().ReaderFirmware(0), (Bytes{0x01, 0x02}));

    ASSERT_TRUE(pt->IspJump());
    EXPECT_EQ(Status(), IspStatusJumpOk);
    EXPECT_EQ(Status(), 0x00);
    ASSERT_TRUE(pt->IspJump());
    EXPECT_EQ(Status(), IspStatusJumpOk);  // again when already in ISP mode
    EXPECT_FALSE(ReadIdentity());
    std::array<std::uint8_t, 36> inquiry{};
    EXPECT_TRUE(pt->Inquiry(0, inquiry.data()));

    ASSERT_TRUE(Transfer(image, 0));
    EXPECT_EQ(Status(), IspStatusWriteOk);
    EXPECT_EQ(fixture->bench().ReaderFirmware(0), image);  // the exact count, not the blocks
    ASSERT_TRUE(Transfer(image, 1));
    EXPECT_EQ(Status(), IspStatusVerifyOk);
    Bytes other = image;
    other[999] = 0x43;
    ASSERT_TRUE(Transfer(other, 1));
    EXPECT_EQ(Status(), IspStatusVerifyMismatch);
    ASSERT_TRUE(Transfer(Bytes(999, 0x42), 1));  // same bytes, shorter
    EXPECT_EQ(Status(), IspStatusVerifyMismatch);

    fixture->bench().Replug();
    EXPECT_TRUE(ReadIdentity());
    EXPECT_FALSE(Transfer(image, 0));
    EXPECT_EQ(fixture->bench().ReaderFirmware(0), image);
}

TEST_F(ReaderTest, AnswersReplaceOnlyTheStatusByte) {
    Start(R"(, "answers": {"IspJump": ["12"], "IspWrite": ["a4"], "IspVerify": ["33", "5a"]})");
    ASSERT_TRUE(pt->IspJump());
    EXPECT_EQ(Status(), 0x12);
    ASSERT_TRUE(pt->IspJump());
    EXPECT_EQ(Status(), IspStatusJumpOk);  // the answers are used up
    const Bytes image{1, 2, 3};
    ASSERT_TRUE(Transfer(image, 0));
    EXPECT_EQ(Status(), 0xA4);
    EXPECT_EQ(fixture->bench().ReaderFirmware(0), image);  // stored all the same
    ASSERT_TRUE(Transfer(image, 1));
    EXPECT_EQ(Status(), 0x33);
    ASSERT_TRUE(Transfer(image, 1));
    EXPECT_EQ(Status(), 0x5A);
    ASSERT_TRUE(Transfer(Bytes{9}, 1));
    EXPECT_EQ(Status(), IspStatusVerifyMismatch);
}

TEST_F(ReaderTest, FailuresAndScsiStatusByRequestNumber) {
    Start(
        R"(, "failures": ["GetIspStatus#2", "Open#3", "IspWrite"], "scsiStatus": {"IspJump#1": "02"})");
    EXPECT_FALSE(pt->IspJump());  // completes, but not GOOD, and takes no effect
    EXPECT_EQ(Status(), 0x00);
    std::uint8_t status = 0xEE;
    EXPECT_FALSE(pt->GetIspStatus(status));
    EXPECT_EQ(status, 0x00);
    ASSERT_TRUE(pt->IspJump());
    EXPECT_EQ(Status(), IspStatusJumpOk);
    EXPECT_FALSE(Transfer(Bytes{1}, 0));
    EXPECT_FALSE(Transfer(Bytes{1}, 0));
    EXPECT_TRUE(fixture->bench().ReaderFirmware(0).empty());
    const std::string e = R"(io ioctl "\\\\.\\E:" 0x4d004 )";
    const Lines lines = fixture->Take();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], e + "in=44 out=80 ok cdb=06bf00000800000000000000 dir=in xfer=0 "
                            "timeout=2 scsi=02");
    EXPECT_EQ(lines[2], e + "in=44 out=88 fail cdb=06b000000800000000000000 dir=in xfer=8 "
                            "timeout=30 scsi=00");
    // The third open fails: the fixture made the first, this test the second.
    pt->CloseSelectedDrive();
    EXPECT_TRUE(pt->OpenSelectedDrive(true, 'E'));
    pt->CloseSelectedDrive();
    EXPECT_FALSE(pt->OpenSelectedDrive(true, 'E'));
    EXPECT_TRUE(pt->OpenSelectedDrive(true, 'E'));
}

TEST_F(ReaderTest, ZeroXffCommandsOnlyWithTheKernelDriver) {
    Start();
    std::array<std::uint8_t, 512> block{};
    EXPECT_FALSE(pt->ReadIdentityBlock(block.data(), IdentityBlockAddress, 1));
    EXPECT_FALSE(pt->ReadIdentityBlock2(block.data(), IdentityBlockAddress, 1));
}

// A request built by hand, then spoiled.
struct RawRequest {
    Bytes buffer = Bytes(kTransferBufferSize, 0);
    std::uint32_t in = 44;
    std::uint32_t out = 116;
};

std::string SendRaw(BenchFixture& fixture, Handle drive, RawRequest request) {
    std::uint32_t returned = 0;
    fixture.bench().DeviceIoControl(drive, win::kIoctlScsiPassThrough, request.buffer.data(),
                                    request.in, request.buffer.data(), request.out, &returned);
    const Lines lines = fixture.Take();
    return lines.empty() ? "" : lines.back();
}

TEST(ReaderRequestChecks, MalformedRequestsFailWithAReason) {
    BenchFixture fixture(ReaderBench(""));
    const Handle drive = fixture.bench().CreateFileA("\\\\.\\E:", 0xC0000000u, 3, 3, 0);
    fixture.Take();
    const std::string e = R"(io ioctl "\\\\.\\E:" 0x4d004 )";
    const std::string inquiry = "cdb=120000002400000000000000 dir=in xfer=36 timeout=2 scsi=00";
    auto inquiryRequest = [] {
        RawRequest r;
        FillPassThroughHeader(r.buffer.data(), InquiryCommand(0));
        return r;
    };
    RawRequest r = inquiryRequest();
    EXPECT_EQ(SendRaw(fixture, drive, r), e + "in=44 out=116 ok " + inquiry);

    r = inquiryRequest();
    r.buffer[0] = 40;
    EXPECT_EQ(SendRaw(fixture, drive, r),
              e + "in=44 out=116 fail " + inquiry + R"( reason="Length 40 is not 44")");
    r = inquiryRequest();
    r.in = 40;
    EXPECT_EQ(
        SendRaw(fixture, drive, r),
        e + R"(in=40 out=116 fail reason="input length 40 does not hold the 44-byte header")");
    r = inquiryRequest();
    r.buffer[6] = 16;
    EXPECT_EQ(SendRaw(fixture, drive, r),
              e + "in=44 out=116 fail " + inquiry + R"( reason="CdbLength 16 is not 1 to 12")");
    r = inquiryRequest();
    r.buffer[24] = 40;  // SenseInfoOffset inside the header
    EXPECT_EQ(SendRaw(fixture, drive, r),
              e + "in=44 out=116 fail " + inquiry +
                  R"( reason="SenseInfoOffset 40 overlaps the header")");
    r = inquiryRequest();
    r.buffer[24] = 100;  // sense area 100..123 past the 116-byte output
    EXPECT_EQ(SendRaw(fixture, drive, r),
              e + "in=44 out=116 fail " + inquiry +
                  R"x( reason="sense area ends at 124, past the output buffer (116)")x");
    r = inquiryRequest();
    r.buffer[20] = 16;  // DataBufferOffset inside the header
    EXPECT_EQ(SendRaw(fixture, drive, r),
              e + "in=44 out=116 fail " + inquiry +
                  R"( reason="DataBufferOffset 16 overlaps the header")");
    r = inquiryRequest();
    r.out = 115;
    EXPECT_EQ(
        SendRaw(fixture, drive, r),
        e + "in=44 out=115 fail " + inquiry +
            R"x( reason="output length 115 below DataBufferOffset + DataTransferLength (116)")x");

    // Data out: the input must hold the data phase, and the transfer command's
    // counts must agree with it. The data phases here are all zeros (CRC-32 of
    // 1536 zeros 6c1ce17e, of 1024 zeros efb5af2e).
    auto writeRequest = [](std::uint32_t exact, std::uint8_t blocks, std::uint32_t xfer) {
        RawRequest w;
        ScsiCommand command = IspTransferCommand(exact, xfer, 0);
        command.cdb[6] = blocks;
        FillPassThroughHeader(w.buffer.data(), command);
        w.in = w.out = 80 + xfer;
        return w;
    };
    r = writeRequest(1000, 2, 1024);
    r.in = 1000;
    EXPECT_EQ(
        SendRaw(fixture, drive, r),
        e +
            "in=1000 out=1104 fail cdb=06b10000e803020000000000 dir=out xfer=1024 "
            "timeout=30 scsi=00" +
            R"x( reason="input length 1000 below DataBufferOffset + DataTransferLength (1104)")x");
    r = writeRequest(1000, 2, 1536);
    EXPECT_EQ(SendRaw(fixture, drive, r),
              e +
                  "in=1616 out=1616 fail cdb=06b10000e803020000000000 dir=out xfer=1536 "
                  "timeout=30 scsi=00 data=6c1ce17e" +
                  R"( reason="block count 2 x 512 is not DataTransferLength 1536")");
    r = writeRequest(1100, 2, 1024);
    EXPECT_EQ(SendRaw(fixture, drive, r),
              e +
                  "in=1104 out=1104 fail cdb=06b100004c04020000000000 dir=out xfer=1024 "
                  "timeout=30 scsi=00 data=efb5af2e" +
                  R"( reason="byte count 1100 above DataTransferLength 1024")");
}

// The checks Windows makes before a pass-through request reaches the device,
// and what the device itself refuses, each with its reason; and the command
// bytes beyond CdbLength, which the device never sees.
TEST(ReaderRequestChecks, StrictAsWindows) {
    struct Row {
        const char* name;
        const char* windows;
        std::uint32_t access;
        std::function<RawRequest()> request;
        std::string line;                  // after "io ioctl "\\.\E:" 0x4d004 "
        std::uint32_t moved = 0xFFFFFFFF;  // DataTransferLength handed back, when checked
    };
    constexpr std::uint32_t kReadWrite = 0xC0000000u;
    auto command = [](const ScsiCommand& c, std::function<void(RawRequest&)> spoil = {}) {
        return [c, spoil] {
            RawRequest r;
            FillPassThroughHeader(r.buffer.data(), c);
            r.out = 80 + c.dataLength;
            if (spoil) spoil(r);
            return r;
        };
    };
    const std::string inquiry = "cdb=120000002400000000000000 dir=in xfer=36 ";
    const Row kRows[] = {
        {"time-out of 0 s", "xp", kReadWrite,
         command(InquiryCommand(0), [](RawRequest& r) { PutLe32(&r.buffer[16], 0); }),
         "in=44 out=116 fail " + inquiry +
             R"x(timeout=0 scsi=00 reason="TimeOutValue 0 is not 1 s to 30 h (108000 s)")x"},
        {"time-out of 30 h and 1 s", "xp", kReadWrite,
         command(InquiryCommand(0), [](RawRequest& r) { PutLe32(&r.buffer[16], 108001); }),
         "in=44 out=116 fail " + inquiry +
             R"x(timeout=108001 scsi=00 reason="TimeOutValue 108001 is not 1 s to 30 h )x"
             R"x((108000 s)")x"},
        {"time-out of 30 h", "xp", kReadWrite,
         command(InquiryCommand(0), [](RawRequest& r) { PutLe32(&r.buffer[16], 108000); }),
         "in=44 out=116 ok " + inquiry + "timeout=108000 scsi=00"},
        {"more than 64 KB", "xp", kReadWrite,
         command(ReadIdentityCommand(),
                 [](RawRequest& r) {
                     r.buffer.resize(80 + 65537);
                     PutLe32(&r.buffer[12], 65537);
                     r.out = 80 + 65537;
                 }),
         "in=44 out=65617 fail cdb=060500000000000080000000 dir=in xfer=65537 timeout=2 "
         R"(scsi=00 reason="DataTransferLength 65537 is more than 65536")"},
        {"sense area over the data area", "xp", kReadWrite,
         command(InquiryCommand(0),
                 [](RawRequest& r) {
                     PutLe32(&r.buffer[24], 100);
                     r.out = 124;
                 }),
         "in=44 out=124 fail " + inquiry +
             R"(timeout=2 scsi=00 reason="sense area 100..123 overlaps the data area 80..115")"},
        {"data phase shorter than INQUIRY's", "xp", kReadWrite,
         command(InquiryCommand(0), [](RawRequest& r) { PutLe32(&r.buffer[12], 20); }),
         "in=44 out=116 fail cdb=120000002400000000000000 dir=in xfer=20 timeout=2 scsi=00 "
         R"x(reason="DataTransferLength 20 is shorter than the 36 bytes of Inquiry (phase error)")x"},
        {"data phase shorter than the identity block", "xp", kReadWrite,
         command(ReadIdentityCommand(), [](RawRequest& r) { PutLe32(&r.buffer[12], 512); }),
         "in=44 out=608 fail cdb=060500000000000080000000 dir=in xfer=512 timeout=2 scsi=00 "
         R"(reason="DataTransferLength 512 is shorter than the 528 bytes of ReadIdentity )"
         R"x((phase error)")x"},
        {"data phase shorter than a block read's", "2000", kReadWrite,
         command(ReadIdentityBlockCommand(IdentityBlockAddress, 2)),
         "in=44 out=592 fail cdb=ff0304a55a30000002000000 dir=in xfer=512 timeout=2 scsi=00 "
         R"(reason="DataTransferLength 512 is shorter than the 1024 bytes of ReadIdentityBlock )"
         R"x((phase error)")x"},
        {"handle opened for reading only", "xp", 0x80000000u, command(InquiryCommand(0)),
         R"(in=44 out=116 fail reason="access denied: the handle was opened without read and )"
         R"(write access")"},
        {"read-only handle on Windows 98, which does not check", "98", 0x80000000u,
         command(InquiryCommand(0)), "in=44 out=116 ok " + inquiry + "timeout=2 scsi=00"},
        // INQUIRY declared with 4 bytes: its allocation length (byte 4) stays
        // behind, and the unit sends nothing.
        {"INQUIRY's allocation length beyond CdbLength", "xp", kReadWrite,
         command(InquiryCommand(0), [](RawRequest& r) { r.buffer[6] = 4; }),
         "in=44 out=116 ok " + inquiry + "timeout=2 scsi=00", 0},
        {"INQUIRY with its whole block", "xp", kReadWrite, command(InquiryCommand(0)),
         "in=44 out=116 ok " + inquiry + "timeout=2 scsi=00", 36},
        // IspJump declared with 1 byte is 06 00 ..., a block the unit does not know.
        {"IspJump's second byte beyond CdbLength", "xp", kReadWrite,
         command(IspJumpCommand(CdbPath::PassThrough), [](RawRequest& r) { r.buffer[6] = 1; }),
         "in=44 out=80 fail cdb=06bf00000800000000000000 dir=in xfer=0 timeout=2 scsi=00"},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        BenchFixture fixture(std::string(R"({"windows": ")") + row.windows +
                             R"(", "drivers": ["TAVDRV.SYS"], "readers": [{"letters": "E"}]})");
        const Handle drive = fixture.bench().CreateFileA("\\\\.\\E:", row.access, 3, 3, 0);
        fixture.Take();
        RawRequest r = row.request();
        std::uint32_t returned = 0;
        const bool ok =
            fixture.bench().DeviceIoControl(drive, win::kIoctlScsiPassThrough, r.buffer.data(),
                                            r.in, r.buffer.data(), r.out, &returned);
        EXPECT_EQ(fixture.Take(), Lines{R"(io ioctl "\\\\.\\E:" 0x4d004 )" + row.line});
        EXPECT_EQ(ok, row.line.find(" ok") != std::string::npos);
        if (row.moved != 0xFFFFFFFF) {
            EXPECT_EQ(GetLe32(&r.buffer[12]), row.moved);
        }
    }
}

// What a drive does with a command it refuses, under each `refusals` setting:
// fail in transport, or complete with CHECK CONDITION, ILLEGAL REQUEST sense
// and no data. A request named in `failures` fails in transport either way.
TEST(ReaderRefusals, TransportOrCheckCondition) {
    struct Row {
        const char* name;
        char drive;
        ScsiCommand command;
        bool ispFirst;  // the reader runs its ISP code before the request
    };
    ScsiCommand read10 = InquiryCommand(0);
    read10.cdb[0] = 0x28;
    read10.dataLength = 512;
    const Row kRows[] = {
        {"identity read in ISP mode", 'E', ReadIdentityCommand(), true},
        {"unknown command block", 'E', read10, false},
        {"transfer outside ISP mode", 'E', IspTransferCommand(512, 512, 0), false},
        {"block read without the kernel driver", 'E',
         ReadIdentityBlockCommand(IdentityBlockAddress, 1), false},
        {"vendor command to a plain disk", 'C', ReadIdentityCommand(), false},
    };
    // Fixed format, current error; sense key 5; additional length 10; ASC 0x20.
    const std::string tail =
        " sense=70000500"
        "0000000a"
        "00000000"
        "20000000"
        "0000";
    for (const char* refusals : {"transport", "check-condition"}) {
        const bool checkCondition = refusals == std::string("check-condition");
        for (const Row& row : kRows) {
            SCOPED_TRACE(std::string(refusals) + ": " + row.name);
            BenchFixture fixture(R"({"windows": "xp", "drives": "C", "refusals": ")" +
                                 std::string(refusals) + R"(", "readers": [{"letters": "E"}]})");
            const Handle drive = fixture.bench().CreateFileA(
                (std::string("\\\\.\\") + row.drive + ":").c_str(), 0xC0000000u, 3, 3, 0);
            if (row.ispFirst) {
                RawRequest jump;
                FillPassThroughHeader(jump.buffer.data(), IspJumpCommand(CdbPath::PassThrough));
                SendRaw(fixture, drive, jump);
            }
            fixture.Take();
            RawRequest r;
            FillPassThroughHeader(r.buffer.data(), row.command);
            r.in = row.command.dataIn ? 44 : 80 + row.command.dataLength;
            r.out = 80 + row.command.dataLength;
            std::fill(r.buffer.begin() + 48, r.buffer.begin() + 72, 0xEE);
            std::uint32_t returned = 0;
            const bool ok =
                fixture.bench().DeviceIoControl(drive, win::kIoctlScsiPassThrough, r.buffer.data(),
                                                r.in, r.buffer.data(), r.out, &returned);
            const Lines lines = fixture.Take();
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_EQ(ok, checkCondition);
            if (!checkCondition) {
                EXPECT_NE(lines[0].find(" fail cdb="), std::string::npos) << lines[0];
                EXPECT_NE(lines[0].find(" scsi=00"), std::string::npos) << lines[0];
                continue;
            }
            ASSERT_GT(lines[0].size(), tail.size());
            EXPECT_EQ(lines[0].substr(lines[0].size() - tail.size()), tail) << lines[0];
            EXPECT_NE(lines[0].find(" ok cdb="), std::string::npos) << lines[0];
            EXPECT_NE(lines[0].find(" scsi=02"), std::string::npos) << lines[0];
            EXPECT_EQ(r.buffer[2], 0x02);  // ScsiStatus
            EXPECT_EQ(r.buffer[7], 18);    // SenseInfoLength: the sense bytes delivered
            EXPECT_EQ(r.buffer[48], 0x70);
            EXPECT_EQ(r.buffer[50], 0x05);
            EXPECT_EQ(r.buffer[60], 0x20);
            EXPECT_EQ(r.buffer[66], 0xEE);  // the rest of the sense area untouched
            if (row.command.dataIn) {
                EXPECT_EQ(GetLe32(r.buffer.data() + 12), 0u);  // no data moved
            }
        }
    }
    // `failures` is a transport failure whatever the setting.
    BenchFixture fixture(R"({"windows": "xp", "refusals": "check-condition",
        "readers": [{"letters": "E", "failures": ["ReadIdentity"]}]})");
    Transports transports;
    PassThrough pt(fixture.bench(), transports);
    ASSERT_TRUE(pt.OpenSelectedDrive(true, 'E'));
    std::array<std::uint8_t, 528> block{};
    EXPECT_FALSE(pt.ReadIdentity(block.data()));
    EXPECT_EQ(fixture.Take().back(),
              R"(io ioctl "\\\\.\\E:" 0x4d004 in=44 out=608 fail cdb=060500000000000080000000 )"
              "dir=in xfer=528 timeout=2 scsi=00");
}

TEST(ReaderRequestChecks, PlainDiskAnswersOnlyInquiry) {
    BenchFixture fixture(ReaderBench(""));
    Transports transports;
    PassThrough pt(fixture.bench(), transports);
    ASSERT_TRUE(pt.OpenSelectedDrive(true, 'C'));
    std::array<std::uint8_t, 36> inquiry{};
    ASSERT_TRUE(pt.Inquiry(0, inquiry.data()));
    EXPECT_EQ(inquiry[0], 0x00);
    EXPECT_EQ(std::string(inquiry.begin() + 8, inquiry.end()), "ATA     FIXED DISK      1.00");
    std::array<std::uint8_t, 528> block{};
    EXPECT_FALSE(pt.ReadIdentity(block.data()));
    EXPECT_FALSE(pt.IspJump());
    std::uint8_t status = 0xEE;
    EXPECT_FALSE(pt.GetIspStatus(status));
}

}  // namespace
}  // namespace usbisp
