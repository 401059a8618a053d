// The command blocks, byte by byte, with the worked examples of the command set.
#include "device/command_set.h"

#include <gtest/gtest.h>

namespace usbisp {
namespace {

using Cdb = VendorCommand;

// The block, how many of its bytes are declared, the direction, the data
// phase and the pass-through time-out of each command.
struct Expected {
    const char* name;
    ScsiCommand command;
    Cdb cdb;
    int cdbLength;
    bool dataIn;
    std::uint32_t length;
    std::uint32_t timeout;
};

TEST(CommandSet, BlocksAndTheirDataPhases) {
    const Expected rows[] = {
        {"Inquiry", InquiryCommand(0), Cdb{0x12, 0, 0, 0, 0x24, 0, 0, 0, 0, 0, 0, 0}, 12, true, 36,
         2},
        {"Inquiry unit 1", InquiryCommand(1), Cdb{0x12, 0x20, 0, 0, 0x24}, 12, true, 36, 2},
        {"ASPI Inquiry", AspiInquiryCommand(), Cdb{0x12, 0, 0, 0, 0x28, 0}, 6, true, 40, 2},
        {"ReadIdentity", ReadIdentityCommand(), Cdb{0x06, 0x05, 0, 0, 0, 0, 0, 0, 0x80}, 12, true,
         528, 2},
        {"IspJump", IspJumpCommand(CdbPath::PassThrough), Cdb{0x06, 0xBF, 0, 0, 0x08}, 12, true, 0,
         2},
        {"GetIspStatus", GetIspStatusCommand(CdbPath::PassThrough), Cdb{0x06, 0xB0, 0, 0, 0x08}, 12,
         true, 8, 30},
        {"GetIspStatus code 66", GetIspStatusCommand(CdbPath::PortDriver66),
         Cdb{0x06, 0xB0, 0, 0, 0x08}, 12, true, 28, 30},
        {"GetIspStatus ASPI", GetIspStatusCommand(CdbPath::Aspi), Cdb{0x06, 0xB0, 0, 0, 0x08}, 12,
         true, 28, 30},
        {"GetDeviceCount", GetDeviceCountCommand(), Cdb{0xFF, 0x01}, 12, true, 8, 2},
        {"GetLunCount", GetLunCountCommand(), Cdb{0xFF, 0x02}, 12, true, 8, 2},
        {"IspWrite", IspTransferCommand(1000, 1024, 0), Cdb{0x06, 0xB1, 0, 0, 0xE8, 0x03, 0x02}, 12,
         false, 1024, 30},
        {"ReadIdentityBlock2", ReadIdentityBlock2Command(IdentityBlockAddress, 1),
         Cdb{0xFF, 0x13, 0x04, 0xA5, 0x5A, 0x30, 0, 0, 0x01}, 12, true, 512, 2},
    };
    for (const Expected& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.command.cdb, row.cdb);
        EXPECT_EQ(row.command.cdbLength, row.cdbLength);
        EXPECT_EQ(row.command.dataIn, row.dataIn);
        EXPECT_EQ(row.command.dataLength, row.length);
        EXPECT_EQ(row.command.timeoutSeconds, row.timeout);
    }
}

TEST(CommandSet, IspJumpDiffersByPathInByteFive) {
    EXPECT_EQ(IspJumpCommand(CdbPath::PassThrough).cdb,
              (Cdb{0x06, 0xBF, 0, 0, 0x08, 0x00, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(IspJumpCommand(CdbPath::PortDriver66).cdb,
              (Cdb{0x06, 0xBF, 0, 0, 0x08, 0x08, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(IspJumpCommand(CdbPath::Aspi).cdb,
              (Cdb{0x06, 0xBF, 0, 0, 0x08, 0x08, 0, 0, 0, 0, 0, 0}));
}

TEST(CommandSet, BlockReadsCarryTheAddressMostSignificantByteFirst) {
    EXPECT_EQ(ReadIdentityBlockCommand(IdentityBlockAddress, 1).cdb,
              (Cdb{0xFF, 0x03, 0x04, 0xA5, 0x5A, 0x30, 0, 0, 0x01, 0, 0, 0}));
    EXPECT_EQ(ReadIdentityBlock2Command(IdentityBlockAddress, 1).cdb,
              (Cdb{0xFF, 0x13, 0x04, 0xA5, 0x5A, 0x30, 0, 0, 0x01, 0, 0, 0}));
}

TEST(CommandSet, TransferOfAThousandBytes) {
    EXPECT_EQ(RoundedLength(1000), 1024u);
    const Cdb write = IspTransferCommand(1000, RoundedLength(1000), 0).cdb;
    EXPECT_EQ(write, (Cdb{0x06, 0xB1, 0x00, 0, 0xE8, 0x03, 0x02, 0, 0, 0, 0, 0}));
    // The compare differs from the write only in bytes 1 and 2.
    const Cdb verify = IspTransferCommand(1000, RoundedLength(1000), 1).cdb;
    EXPECT_EQ(verify, (Cdb{0x06, 0xB2, 0x01, 0, 0xE8, 0x03, 0x02, 0, 0, 0, 0, 0}));
}

TEST(CommandSet, TransferLengthsAtTheBlockBoundaries) {
    EXPECT_EQ(RoundedLength(512), 512u);
    EXPECT_EQ(IspTransferCommand(512, RoundedLength(512), 0).cdb,
              (Cdb{0x06, 0xB1, 0, 0, 0x00, 0x02, 0x01, 0, 0, 0, 0, 0}));
    EXPECT_EQ(RoundedLength(1), 512u);
    EXPECT_EQ(RoundedLength(513), 1024u);
    EXPECT_EQ(RoundedLength(65535), 65536u);
    EXPECT_EQ(IspTransferCommand(65535, 65536, 0).cdb,
              (Cdb{0x06, 0xB1, 0, 0, 0xFF, 0xFF, 0x80, 0, 0, 0, 0, 0}));
}

TEST(CommandSet, StatusValues) {
    EXPECT_EQ(IspStatusJumpOk, 0x9C);
    EXPECT_EQ(IspStatusWriteOk, 0xA5);
    EXPECT_EQ(IspStatusVerifyOk, 0x5A);
    EXPECT_EQ(IspStatusVerifyMismatch, 0x33);
}

}  // namespace
}  // namespace usbisp
