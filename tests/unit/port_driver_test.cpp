// The port drivers' request records byte by byte, with the worked examples.
#include "device/port_driver.h"

#include <gtest/gtest.h>

#include <vector>

namespace usbisp {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ShortRecord(std::uint32_t function, std::uint32_t parameter1, std::uint32_t parameter2,
                  const void* buffer) {
    Bytes record(16, 0xEE);
    FillPortRecord(record.data(), function, parameter1, parameter2, buffer);
    return record;
}

TEST(PortRecords, Code65Examples) {
    // GetLunCount for device 2: parameter 2 carries the device in byte 3.
    EXPECT_EQ(PortParameter2(0, 0, 2), 0x02000000u);
    EXPECT_EQ(ShortRecord(port::kGetLunCount65, 0, PortParameter2(0, 0, 2), nullptr),
              (Bytes{11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0}));
    // ReadIdentityBlock2 of the identity block, one block, device 3; the
    // buffer address travels as its low 32 bits.
    const auto* buffer = reinterpret_cast<const void*>(std::uintptr_t{0xA1B2C3D4});
    EXPECT_EQ(ShortRecord(port::kReadIdentityBlock2, IdentityBlockAddress, PortParameter2(1, 0, 3),
                          buffer),
              (Bytes{31, 0, 0, 0, 0x30, 0x5A, 0xA5, 0x04, 1, 0, 0, 3, 0xD4, 0xC3, 0xB2, 0xA1}));
    // The transfer: the exact count, the mode in byte 0 of parameter 2.
    EXPECT_EQ(ShortRecord(port::kIspTransfer, 1000, PortParameter2(1, 0, 0), nullptr),
              (Bytes{22, 0, 0, 0, 0xE8, 0x03, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(PortRecords, Code66CommandRecords) {
    struct Row {
        const char* name;
        ScsiCommand command;
        std::uint32_t device;
        Bytes cdb;  // the 16 bytes of the command area
        std::uint32_t direction, length;
    };
    const Row rows[] = {
        {"IspJump",
         IspJumpCommand(CdbPath::PortDriver66),
         1,
         {0x06, 0xBF, 0, 0, 0x08, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         0,
         0},
        {"GetIspStatus",
         GetIspStatusCommand(CdbPath::PortDriver66),
         2,
         {0x06, 0xB0, 0, 0, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         1,
         28},
        {"ReadIdentity",
         ReadIdentityCommand(),
         0,
         {0x06, 0x05, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0},
         1,
         528},
        {"IspVerify",
         IspTransferCommand(1000, 1024, 1),
         3,
         {0x06, 0xB2, 0x01, 0, 0xE8, 0x03, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         2,
         1024},
    };
    const auto* buffer = reinterpret_cast<const void*>(std::uintptr_t{0x11223344});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Bytes record(40, 0xEE);
        FillPortCdbRecord(record.data(), row.device, row.command, buffer);
        Bytes expected = {3, 0, 0, 0, static_cast<std::uint8_t>(row.device), 0, 0, 0, 0, 0, 0, 0};
        for (std::uint8_t b : row.cdb) expected.push_back(b);
        for (std::uint32_t v : {row.direction, row.length, 0x11223344u})
            for (int i = 0; i < 4; ++i) expected.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        EXPECT_EQ(record, expected);
    }
}

}  // namespace
}  // namespace usbisp
