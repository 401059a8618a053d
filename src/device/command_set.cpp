#include "device/command_set.h"

namespace usbisp {

namespace {

VendorCommand BlockRead(std::uint8_t opcode2, std::uint32_t address, std::uint8_t blocks) {
    // The address goes most significant byte first.
    VendorCommand cdb{};
    cdb[0] = 0xFF;
    cdb[1] = opcode2;
    cdb[2] = static_cast<std::uint8_t>(address >> 24);
    cdb[3] = static_cast<std::uint8_t>(address >> 16);
    cdb[4] = static_cast<std::uint8_t>(address >> 8);
    cdb[5] = static_cast<std::uint8_t>(address);
    cdb[8] = blocks;
    return cdb;
}

}  // namespace

std::uint32_t RoundedLength(std::uint32_t n) {
    return (n + kBlockSize - 1) / kBlockSize * kBlockSize;
}

VendorCommand InquiryCommand(std::uint8_t unit) {
    VendorCommand cdb{};
    cdb[0] = 0x12;
    cdb[1] = static_cast<std::uint8_t>(unit << 5);
    cdb[4] = 0x24;
    return cdb;
}

VendorCommand AspiInquiryCommand() {
    VendorCommand cdb{};
    cdb[0] = 0x12;
    cdb[4] = 0x28;
    return cdb;
}

VendorCommand ReadIdentityCommand() {
    VendorCommand cdb{};
    cdb[0] = 0x06;
    cdb[1] = 0x05;
    cdb[8] = 0x80;
    return cdb;
}

VendorCommand IspJumpCommand(CdbPath path) {
    VendorCommand cdb{};
    cdb[0] = 0x06;
    cdb[1] = 0xBF;
    cdb[4] = 0x08;
    // The port driver and ASPI forms carry 0x08 in byte 5 as well.
    if (path != CdbPath::PassThrough) cdb[5] = 0x08;
    return cdb;
}

VendorCommand GetIspStatusCommand() {
    VendorCommand cdb{};
    cdb[0] = 0x06;
    cdb[1] = 0xB0;
    cdb[4] = 0x08;
    return cdb;
}

VendorCommand IspTransferCommand(std::uint32_t exactLength, std::uint32_t roundedLength,
                                 std::uint8_t mode) {
    VendorCommand cdb{};
    cdb[0] = 0x06;
    cdb[1] = mode == 0 ? 0xB1 : 0xB2;
    cdb[2] = mode;
    cdb[4] = static_cast<std::uint8_t>(exactLength & 0xFF);
    cdb[5] = static_cast<std::uint8_t>((exactLength >> 8) & 0xFF);
    cdb[6] = static_cast<std::uint8_t>(roundedLength / kBlockSize);
    return cdb;
}

VendorCommand GetDeviceCountCommand() {
    VendorCommand cdb{};
    cdb[0] = 0xFF;
    cdb[1] = 0x01;
    return cdb;
}

VendorCommand GetLunCountCommand() {
    VendorCommand cdb{};
    cdb[0] = 0xFF;
    cdb[1] = 0x02;
    return cdb;
}

VendorCommand ReadIdentityBlockCommand(std::uint32_t address, std::uint8_t blocks) {
    return BlockRead(0x03, address, blocks);
}

VendorCommand ReadIdentityBlock2Command(std::uint32_t address, std::uint8_t blocks) {
    return BlockRead(0x13, address, blocks);
}

}  // namespace usbisp
