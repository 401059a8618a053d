#include "device/pass_through.h"

#include <algorithm>
#include <cstring>

#include "device/kernel_driver.h"
#include "platform/byte_order.h"
#include "platform/win_constants.h"

namespace usbisp {

void FillPassThroughHeader(std::uint8_t* buffer, const ScsiCommand& command) {
    std::memset(buffer, 0, spt::kHeaderLength);
    PutLe16(buffer + spt::kLengthOffset, spt::kHeaderLength);
    buffer[spt::kStatusOffset] = 0;  // read back after the call
    buffer[spt::kPathIdOffset] = 0;
    buffer[spt::kTargetIdOffset] = 1;
    buffer[spt::kLunOffset] = 0;
    // Every block goes whole: 12 bytes, also for the 6-byte INQUIRY.
    buffer[spt::kCdbLengthOffset] = static_cast<std::uint8_t>(command.cdb.size());
    buffer[spt::kSenseInfoLengthOffset] = spt::kSenseLength;
    buffer[spt::kDataInOffset] = command.dataIn ? spt::kDataIn : spt::kDataOut;
    PutLe32(buffer + spt::kDataTransferLengthOffset, command.dataLength);
    PutLe32(buffer + spt::kTimeOutValueOffset, command.timeoutSeconds);
    PutLe32(buffer + spt::kDataBufferOffsetOffset, spt::kDataOffset);
    PutLe32(buffer + spt::kSenseInfoOffsetOffset, spt::kSenseOffset);
    static_assert(std::tuple_size_v<VendorCommand> <= spt::kCdbCapacity);
    std::copy(command.cdb.begin(), command.cdb.end(), buffer + spt::kCdbOffset);
}

std::string DrivePath(char letter) {
    return std::string("\\\\.\\") + letter + ":";
}

bool PassThrough::OpenSelectedDrive(bool slotInUse, char firstDriveLetter) {
    if (!slotInUse) return false;
    transports_.driveHandle = kNullHandle;
    const Handle handle = platform_.CreateFileA(
        DrivePath(firstDriveLetter).c_str(), win::kGenericRead | win::kGenericWrite,
        win::kFileShareRead | win::kFileShareWrite, win::kOpenExisting, 0);
    // A failed open leaves the handle null, so that a later close does not
    // hand Windows the invalid handle.
    if (handle == kInvalidHandle) return false;
    transports_.driveHandle = handle;
    return true;
}

void PassThrough::CloseSelectedDrive() {
    if (transports_.driveHandle == kNullHandle) return;
    platform_.CloseHandle(transports_.driveHandle);
    transports_.driveHandle = kNullHandle;
}

void PassThrough::ClearBuffer() {
    std::fill(transports_.transferBuffer.begin(), transports_.transferBuffer.end(), 0);
}

bool PassThrough::Carry(const ScsiCommand& command) {
    std::uint8_t* buffer = transports_.transferBuffer.data();
    FillPassThroughHeader(buffer, command);
    const std::uint32_t end = spt::kDataOffset + command.dataLength;
    const std::uint32_t inLength = command.dataIn ? spt::kHeaderLength : end;
    std::uint32_t returned = 0;
    return platform_.DeviceIoControl(transports_.driveHandle, win::kIoctlScsiPassThrough, buffer,
                                     inLength, buffer, end, &returned);
}

bool PassThrough::Read(const ScsiCommand& command, std::uint8_t* destination) {
    ClearBuffer();
    if (!Carry(command) || ScsiStatus() != 0) return false;
    std::memcpy(destination, DataArea(), command.dataLength);
    return true;
}

bool PassThrough::Inquiry(std::uint8_t unit, std::uint8_t* destination) {
    return Read(InquiryCommand(unit), destination);
}

bool PassThrough::ReadIdentity(std::uint8_t* destination) {
    return Read(ReadIdentityCommand(), destination);
}

bool PassThrough::IspJump() {
    ClearBuffer();
    return Carry(IspJumpCommand(CdbPath::PassThrough)) && ScsiStatus() == 0;
}

bool PassThrough::GetIspStatus(std::uint8_t& status) {
    ClearBuffer();
    const bool ok = Carry(GetIspStatusCommand(CdbPath::PassThrough));
    // Byte 0 of the data area in every case: zero when the request failed.
    status = DataArea()[0];
    return ok && ScsiStatus() == 0;
}

void PassThrough::LoadPayload(const std::uint8_t* payload, std::size_t length) {
    ClearBuffer();
    const std::size_t n = std::min<std::size_t>(length, kMaxTransferLength);
    if (n > 0) std::memcpy(DataArea(), payload, n);
}

bool PassThrough::IspTransfer(std::uint32_t exactLength, std::uint32_t roundedLength,
                              std::uint8_t mode) {
    // Nothing is sent that would reach past the data area or that the
    // command cannot describe.
    if (!TransferDescribable(exactLength, roundedLength)) return false;
    return Carry(IspTransferCommand(exactLength, roundedLength, mode)) && ScsiStatus() == 0;
}

std::uint8_t PassThrough::Count(const ScsiCommand& command, const std::string& driverFileName) {
    // The kernel driver carries the 0xFF commands: without it nothing is sent.
    if (OpenKernelDriver(platform_, transports_, driverFileName, true) != 0) return 0;
    ClearBuffer();
    if (!Carry(command)) return 0;
    return DataArea()[0];
}

std::uint8_t PassThrough::GetDeviceCount(const std::string& driverFileName) {
    return Count(GetDeviceCountCommand(), driverFileName);
}

std::uint8_t PassThrough::GetLunCount(const std::string& driverFileName) {
    return Count(GetLunCountCommand(), driverFileName);
}

bool PassThrough::ReadIdentityBlock(std::uint8_t* destination, std::uint32_t address,
                                    std::uint8_t blocks) {
    return Read(ReadIdentityBlockCommand(address, blocks), destination);
}

bool PassThrough::ReadIdentityBlock2(std::uint8_t* destination, std::uint32_t address,
                                     std::uint8_t blocks) {
    return Read(ReadIdentityBlock2Command(address, blocks), destination);
}

}  // namespace usbisp
