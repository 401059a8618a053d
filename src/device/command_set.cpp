#include "device/command_set.h"

namespace usbisp {

namespace {

ScsiCommand In(std::uint32_t length, std::uint32_t timeoutSeconds = kShortTimeout) {
    ScsiCommand command;
    command.dataLength = length;
    command.timeoutSeconds = timeoutSeconds;
    return command;
}

ScsiCommand BlockRead(std::uint8_t opcode2, std::uint32_t address, std::uint8_t blocks) {
    // The address goes most significant byte first; the data phase is one
    // block whatever the count says.
    ScsiCommand command = In(kIdentityBlockReadLength);
    VendorCommand& cdb = command.cdb;
    cdb[0] = 0xFF;
    cdb[1] = opcode2;
    cdb[2] = static_cast<std::uint8_t>(address >> 24);
    cdb[3] = static_cast<std::uint8_t>(address >> 16);
    cdb[4] = static_cast<std::uint8_t>(address >> 8);
    cdb[5] = static_cast<std::uint8_t>(address);
    cdb[8] = blocks;
    return command;
}

}  // namespace

std::uint32_t RoundedLength(std::uint32_t n) {
    return (n + kBlockSize - 1) / kBlockSize * kBlockSize;
}

bool TransferDescribable(std::uint32_t exactLength, std::uint32_t roundedLength) {
    return roundedLength <= kMaxTransferLength && exactLength <= roundedLength &&
           exactLength <= kMaxPayloadLength && roundedLength % kBlockSize == 0;
}

ScsiCommand InquiryCommand(std::uint8_t unit) {
    ScsiCommand command = In(kInquiryLength);
    command.cdb[0] = 0x12;
    command.cdb[1] = static_cast<std::uint8_t>(unit << 5);
    command.cdb[4] = 0x24;
    return command;
}

ScsiCommand AspiInquiryCommand() {
    ScsiCommand command = In(kAspiInquiryLength);
    command.cdbLength = 6;
    command.cdb[0] = 0x12;
    command.cdb[4] = 0x28;
    return command;
}

ScsiCommand ReadIdentityCommand() {
    ScsiCommand command = In(kReadIdentityLength);
    command.cdb[0] = 0x06;
    command.cdb[1] = 0x05;
    command.cdb[8] = 0x80;
    return command;
}

ScsiCommand IspJumpCommand(CdbPath path) {
    ScsiCommand command = In(0);
    command.cdb[0] = 0x06;
    command.cdb[1] = 0xBF;
    command.cdb[4] = 0x08;
    // The port driver and ASPI forms carry 0x08 in byte 5 as well.
    if (path != CdbPath::PassThrough) command.cdb[5] = 0x08;
    return command;
}

ScsiCommand GetIspStatusCommand(CdbPath path) {
    ScsiCommand command =
        In(path == CdbPath::PassThrough ? kStatusReplyLength : kPortStatusLength, kLongTimeout);
    command.cdb[0] = 0x06;
    command.cdb[1] = 0xB0;
    command.cdb[4] = 0x08;
    return command;
}

ScsiCommand IspTransferCommand(std::uint32_t exactLength, std::uint32_t roundedLength,
                               std::uint8_t mode) {
    ScsiCommand command = In(roundedLength, kLongTimeout);
    command.dataIn = false;
    VendorCommand& cdb = command.cdb;
    cdb[0] = 0x06;
    cdb[1] = mode == 0 ? 0xB1 : 0xB2;
    cdb[2] = mode;
    cdb[4] = static_cast<std::uint8_t>(exactLength & 0xFF);
    cdb[5] = static_cast<std::uint8_t>((exactLength >> 8) & 0xFF);
    cdb[6] = static_cast<std::uint8_t>(roundedLength / kBlockSize);
    return command;
}

ScsiCommand GetDeviceCountCommand() {
    ScsiCommand command = In(kStatusReplyLength);
    command.cdb[0] = 0xFF;
    command.cdb[1] = 0x01;
    return command;
}

ScsiCommand GetLunCountCommand() {
    ScsiCommand command = In(kStatusReplyLength);
    command.cdb[0] = 0xFF;
    command.cdb[1] = 0x02;
    return command;
}

ScsiCommand ReadIdentityBlockCommand(std::uint32_t address, std::uint8_t blocks) {
    return BlockRead(0x03, address, blocks);
}

ScsiCommand ReadIdentityBlock2Command(std::uint32_t address, std::uint8_t blocks) {
    return BlockRead(0x13, address, blocks);
}

}  // namespace usbisp
