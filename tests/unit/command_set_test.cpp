// The command blocks, byte by byte, with the worked examples of the command set.
#include "device/command_set.h"

#include <gtest/gtest.h>

namespace usbisp {
namespace {

using Cdb = VendorCommand;

TEST(CommandSet, FixedBlocks) {
    EXPECT_EQ(InquiryCommand(0), (Cdb{0x12, 0, 0, 0, 0x24, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(InquiryCommand(1), (Cdb{0x12, 0x20, 0, 0, 0x24, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(AspiInquiryCommand(), (Cdb{0x12, 0, 0, 0, 0x28, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(kAspiInquiryCdbLength, 6);
    EXPECT_EQ(ReadIdentityCommand(), (Cdb{0x06, 0x05, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0}));
    EXPECT_EQ(GetIspStatusCommand(), (Cdb{0x06, 0xB0, 0, 0, 0x08, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(GetDeviceCountCommand(), (Cdb{0xFF, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(GetLunCountCommand(), (Cdb{0xFF, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(CommandSet, IspJumpDiffersByPathInByteFive) {
    EXPECT_EQ(IspJumpCommand(CdbPath::PassThrough),
              (Cdb{0x06, 0xBF, 0, 0, 0x08, 0x00, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(IspJumpCommand(CdbPath::PortDriver66),
              (Cdb{0x06, 0xBF, 0, 0, 0x08, 0x08, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(IspJumpCommand(CdbPath::Aspi), (Cdb{0x06, 0xBF, 0, 0, 0x08, 0x08, 0, 0, 0, 0, 0, 0}));
}

TEST(CommandSet, BlockReadsCarryTheAddressMostSignificantByteFirst) {
    EXPECT_EQ(ReadIdentityBlockCommand(IdentityBlockAddress, 1),
              (Cdb{0xFF, 0x03, 0x04, 0xA5, 0x5A, 0x30, 0, 0, 0x01, 0, 0, 0}));
    EXPECT_EQ(ReadIdentityBlock2Command(IdentityBlockAddress, 1),
              (Cdb{0xFF, 0x13, 0x04, 0xA5, 0x5A, 0x30, 0, 0, 0x01, 0, 0, 0}));
}

TEST(CommandSet, TransferOfAThousandBytes) {
    EXPECT_EQ(RoundedLength(1000), 1024u);
    const Cdb write = IspTransferCommand(1000, RoundedLength(1000), 0);
    EXPECT_EQ(write, (Cdb{0x06, 0xB1, 0x00, 0, 0xE8, 0x03, 0x02, 0, 0, 0, 0, 0}));
    // The compare differs from the write only in bytes 1 and 2.
    const Cdb verify = IspTransferCommand(1000, RoundedLength(1000), 1);
    EXPECT_EQ(verify, (Cdb{0x06, 0xB2, 0x01, 0, 0xE8, 0x03, 0x02, 0, 0, 0, 0, 0}));
}

TEST(CommandSet, TransferLengthsAtTheBlockBoundaries) {
    EXPECT_EQ(RoundedLength(512), 512u);
    EXPECT_EQ(IspTransferCommand(512, RoundedLength(512), 0),
              (Cdb{0x06, 0xB1, 0, 0, 0x00, 0x02, 0x01, 0, 0, 0, 0, 0}));
    EXPECT_EQ(RoundedLength(1), 512u);
    EXPECT_EQ(RoundedLength(513), 1024u);
    EXPECT_EQ(RoundedLength(65535), 65536u);
    EXPECT_EQ(IspTransferCommand(65535, 65536, 0),
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
