// The bench's port drivers: what they check in each record, and what they
// answer through the buffers the records name.
#include <gtest/gtest.h>

#include <vector>

#include "bench_reader_fixture.h"
#include "device/port_driver.h"

namespace usbisp {
namespace {

using testing::BenchFixture;

constexpr char kBench[] = R"({"windows": "98", "drivers": ["ZIZIRADA.ZAV", "RE20RERI.VAR"],
  "readers": [{"letters": "EF", "usb20FirmwareRevision": "01 02 03 04 05 06 07 08"}]})";

class BenchPortDriver : public ::testing::Test {
  protected:
    BenchPortDriver() : fixture(kBench) {
        code65 = fixture.bench().CreateFileA("\\\\.\\ZIZIRADA", 0xC0000000u, 0, 3, 0);
        code66 = fixture.bench().CreateFileA("\\\\.\\RE20RERI", 0xC0000000u, 0, 3, 0x04000000u);
        fixture.Take();
    }
    // Sends a record; the last io line.
    std::string Send(Handle handle, std::uint32_t code, std::vector<std::uint8_t> record,
                     void* buffer, std::uint32_t length) {
        std::uint32_t returned = 0;
        fixture.bench().DeviceIoControl(handle, code, record.data(),
                                        static_cast<std::uint32_t>(record.size()), buffer, length,
                                        &returned);
        const auto lines = fixture.Take();
        return lines.empty() ? "" : lines.back();
    }
    std::vector<std::uint8_t> Record65(std::uint32_t function, std::uint32_t p1, std::uint32_t p2,
                                       const void* buffer) {
        std::vector<std::uint8_t> record(16);
        FillPortRecord(record.data(), function, p1, p2, buffer);
        return record;
    }
    BenchFixture fixture;
    Handle code65 = kNullHandle, code66 = kNullHandle;
};

TEST_F(BenchPortDriver, Code65RefusesRecordsThatDoNotSuitTheirFunction) {
    std::uint8_t reply[512] = {};
    const std::string io = R"(io ioctl "\\\\.\\ZIZIRADA" 0x41 )";
    struct Row {
        const char* name;
        std::vector<std::uint8_t> record;
        std::uint32_t length;
        std::string line;
    };
    const Row rows[] = {
        {"count with a parameter", Record65(10, 0, 1, reply), 8,
         "in=16 out=8 fail fn=10 p1=0x0 p2=0x1 reason=\"parameters 1 and 2 are not 0\""},
        {"unit count into a short reply", Record65(11, 0, 0, reply), 1,
         "in=16 out=1 fail fn=11 p1=0x0 p2=0x0 reason=\"output length 1 is not 8\""},
        {"block read of a wrong length", Record65(31, 0x04A55A30, 1, reply), 511,
         "in=16 out=511 fail fn=31 p1=0x4a55a30 p2=0x1 reason=\"output length 511 is not 512\""},
        {"a unit other than 0", Record65(20, 0, 0x00010000, reply), 1,
         "in=16 out=1 fail fn=20 p1=0x0 p2=0x10000 reason=\"unit 1 is not 0\""},
        {"another buffer in the record", Record65(21, 0, 0, reply + 1), 1,
         "in=16 out=1 fail fn=21 p1=0x0 p2=0x0 reason=\"the buffer address in the record is not "
         "the call's buffer\""},
        {"transfer with an output length", Record65(22, 16, 0, reply), 16,
         "in=16 out=16 fail fn=22 p1=0x10 p2=0x0 reason=\"output length 16 is not 0\""},
        {"transfer of nothing", Record65(22, 0, 0, reply), 0,
         "in=16 out=0 fail fn=22 p1=0x0 p2=0x0 reason=\"byte count 0 is not 1 to 65536\""},
        {"unknown function", Record65(99, 0, 0, reply), 0,
         "in=16 out=0 fail fn=99 p1=0x0 p2=0x0 reason=\"function 99 not served by the driver\""},
        {"a device the driver does not have", Record65(11, 0, 0x01000000, reply), 8,
         "in=16 out=8 fail fn=11 p1=0x0 p2=0x1000000"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Send(code65, 65, row.record, reply, row.length), io + row.line);
    }
    // The wrong family.
    EXPECT_EQ(Send(code65, 66, Record65(1, 0, 0, reply), reply, 8),
              io.substr(0, io.size() - 5) +
                  "0x42 in=16 out=8 fail reason=\"control code not "
                  "served by the driver\"");
}

TEST_F(BenchPortDriver, AnswersGoThroughTheRecordsBuffers) {
    // The firmware revision is declared as one byte; all eight arrive.
    std::uint8_t revision[8] = {};
    EXPECT_EQ(Send(code65, 65, Record65(26, 0, 0, revision), revision, 1),
              R"(io ioctl "\\\\.\\ZIZIRADA" 0x41 in=16 out=1 ok fn=26 p1=0x0 p2=0x0)");
    EXPECT_EQ(std::vector<std::uint8_t>(revision, revision + 8),
              (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));

    // The code-66 status read declares 28 bytes: the driver writes all of
    // them, after a reply of 8.
    std::uint8_t status[28];
    std::fill(std::begin(status), std::end(status), 0xEE);
    std::vector<std::uint8_t> record(40);
    FillPortCdbRecord(record.data(), 0, GetIspStatusCommand(CdbPath::PortDriver66), status);
    EXPECT_EQ(Send(code66, 66, record, status, 8),
              R"(io ioctl "\\\\.\\RE20RERI" 0x42 in=40 out=8 ok fn=3 dev=0 target=0 )"
              "cdb=06b000000800000000000000 dir=1 xfer=28");
    EXPECT_TRUE(std::all_of(std::begin(status), std::end(status), [](auto b) { return b == 0; }));

    // The pass-through's form of the jump is not this driver's.
    FillPortCdbRecord(record.data(), 0, IspJumpCommand(CdbPath::PassThrough), status);
    EXPECT_EQ(Send(code66, 66, record, status, 0),
              R"(io ioctl "\\\\.\\RE20RERI" 0x42 in=40 out=0 fail fn=3 dev=0 target=0 )"
              "cdb=06bf00000800000000000000 dir=0 xfer=0 reason=\"IspJump carries 0x08 in byte 5 "
              "on this driver\"");
    fixture.bench().CloseHandle(code65);
    fixture.bench().CloseHandle(code66);
}

TEST_F(BenchPortDriver, Code66TransfersAtMostTheControllersBuffer) {
    std::vector<std::uint8_t> record(40);
    std::vector<std::uint8_t> data(255 * 512, 0x11);
    FillPortCdbRecord(record.data(), 0, IspJumpCommand(CdbPath::PortDriver66), data.data());
    Send(code66, 66, record, data.data(), 0);
    // 128 blocks fill the controller's 64 KiB; 129 and 255 name more, which
    // the reader refuses: the driver fails the request without a reason.
    for (std::uint32_t blocks : {128u, 129u, 255u}) {
        SCOPED_TRACE(blocks);
        ScsiCommand write = IspTransferCommand(1000, 1024, 0);
        write.cdb[6] = static_cast<std::uint8_t>(blocks);
        write.dataLength = blocks * 512;
        FillPortCdbRecord(record.data(), 0, write, data.data());
        const std::string line = Send(code66, 66, record, data.data(), blocks * 512);
        const bool ok = line.find(" ok fn=3 ") != std::string::npos;
        EXPECT_EQ(ok, blocks == 128) << line;
        EXPECT_EQ(line.find("reason="), std::string::npos) << line;
    }
    fixture.bench().CloseHandle(code65);
    fixture.bench().CloseHandle(code66);
}

TEST(BenchPortDriverOpens, Windows98DoesNotRefuseASecondOpen) {
    BenchFixture fixture(kBench);
    const Handle first = fixture.bench().CreateFileA("\\\\.\\ZIZIRADA", 0xC0000000u, 0, 3, 0);
    const Handle second = fixture.bench().CreateFileA("\\\\.\\ZIZIRADA", 0xC0000000u, 0, 3, 0);
    EXPECT_NE(first, kInvalidHandle);
    EXPECT_NE(second, kInvalidHandle);
    // Both count: a run that forgot one would show it.
    EXPECT_EQ(fixture.bench().openHandleCount(), 2u);
}

}  // namespace
}  // namespace usbisp
