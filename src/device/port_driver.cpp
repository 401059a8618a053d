#include "device/port_driver.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_order.h"
#include "platform/win_constants.h"

namespace usbisp {

namespace {

constexpr std::uint32_t kCountReplyLength = 8;

std::uint32_t Address32(const void* buffer) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(buffer));
}

std::uint8_t OpenPortDriver(Platform& platform, Transports& transports,
                            const std::string& driverFileName, std::uint32_t flags) {
    const std::string path = DriverDevicePath(driverFileName);
    const Handle handle = platform.CreateFileA(path.c_str(), win::kGenericRead | win::kGenericWrite,
                                               0, win::kOpenExisting, flags);
    if (handle == kInvalidHandle || handle == kNullHandle) {
        transports.portDriverHandle = kNullHandle;
        return 1;
    }
    transports.portDriverHandle = handle;
    return 0;
}

}  // namespace

std::uint32_t PortParameter2(std::uint8_t countOrMode, std::uint8_t unit, std::uint8_t device) {
    return static_cast<std::uint32_t>(countOrMode) | static_cast<std::uint32_t>(unit) << 16 |
           static_cast<std::uint32_t>(device) << 24;
}

void FillPortRecord(std::uint8_t* record, std::uint32_t function, std::uint32_t parameter1,
                    std::uint32_t parameter2, const void* buffer) {
    PutLe32(record + 0, function);
    PutLe32(record + 4, parameter1);
    PutLe32(record + 8, parameter2);
    PutLe32(record + 12, Address32(buffer));
}

void FillPortCdbRecord(std::uint8_t* record, std::uint32_t device, const ScsiCommand& command,
                       const void* buffer) {
    std::memset(record, 0, port::kLongRecordLength);
    PutLe32(record + 0, port::kPassCdb);
    PutLe32(record + 4, device);
    PutLe32(record + 8, 0);  // target
    std::copy(command.cdb.begin(), command.cdb.end(), record + 12);
    const std::uint32_t direction = command.dataLength == 0 ? port::kNoData
                                    : command.dataIn        ? port::kDataIn
                                                            : port::kDataOut;
    PutLe32(record + 28, direction);
    PutLe32(record + 32, command.dataLength);
    PutLe32(record + 36, Address32(buffer));
}

std::uint8_t OpenPortDriver65(Platform& platform, Transports& transports,
                              const std::string& driverFileName) {
    return OpenPortDriver(platform, transports, driverFileName, 0);
}

std::uint8_t OpenPortDriver66(Platform& platform, Transports& transports,
                              const std::string& driverFileName) {
    return OpenPortDriver(platform, transports, driverFileName, win::kFileFlagDeleteOnClose);
}

void ClosePortDriver(Platform& platform, Transports& transports) {
    if (transports.portDriverHandle == kNullHandle) return;
    platform.CloseHandle(transports.portDriverHandle);
    transports.portDriverHandle = kNullHandle;
}

bool PortDriver65::Send(std::uint32_t function, std::uint32_t parameter1, std::uint32_t parameter2,
                        const void* buffer, std::uint32_t length) {
    std::uint8_t record[port::kShortRecordLength] = {};
    FillPortRecord(record, function, parameter1, parameter2, buffer);
    std::uint32_t returned = 0;
    // The buffer travels in the call as well as in the record, also where its
    // declared length is 0 or 1.
    return platform_.DeviceIoControl(transports_.portDriverHandle, port::kCode65, record,
                                     sizeof record, const_cast<void*>(buffer), length, &returned);
}

bool PortDriver65::ReadIdentityBlock(std::uint8_t* destination, std::uint32_t address,
                                     std::uint8_t blocks) {
    return Send(port::kReadIdentityBlock, address, PortParameter2(blocks, 0, Device()), destination,
                blocks * kBlockSize);
}

bool PortDriver65::ReadIdentityBlock2(std::uint8_t* destination, std::uint32_t address,
                                      std::uint8_t blocks) {
    return Send(port::kReadIdentityBlock2, address, PortParameter2(blocks, 0, Device()),
                destination, blocks * kBlockSize);
}

std::uint8_t PortDriver65::GetDeviceCount() {
    std::uint8_t reply[kCountReplyLength] = {};
    return Send(port::kGetDeviceCount65, 0, 0, reply, sizeof reply) ? reply[0] : 0;
}

std::uint8_t PortDriver65::GetLunCount() {
    std::uint8_t reply[kCountReplyLength] = {};
    return Send(port::kGetLunCount65, 0, PortParameter2(0, 0, Device()), reply, sizeof reply)
               ? reply[0]
               : 0;
}

bool PortDriver65::IspJump() {
    std::uint8_t reply = 0;
    return Send(port::kIspJump, 0, PortParameter2(0, 0, Device()), &reply, 1);
}

bool PortDriver65::GetIspStatus(std::uint8_t& status) {
    std::uint8_t reply = 0;
    const bool ok = Send(port::kGetIspStatus, 0, PortParameter2(0, 0, Device()), &reply, 1);
    status = reply;
    return ok;
}

bool PortDriver65::IspTransfer(const std::uint8_t* payload, std::uint32_t count,
                               std::uint8_t mode) {
    return Send(port::kIspTransfer, count, PortParameter2(mode, 0, Device()), payload, 0);
}

bool PortDriver65::GetFirmwareRevision(FirmwareRevisionBytes& revision) {
    revision.fill(0);
    return Send(port::kGetFirmwareRevision, 0, PortParameter2(0, 0, Device()), revision.data(), 1);
}

bool PortDriver65::WriteAddressedBlock(const std::uint8_t* source, std::uint32_t address,
                                       std::uint8_t blocks) {
    return Send(port::kWriteAddressedBlock, address, PortParameter2(blocks, 0, Device()), source,
                0);
}

std::uint8_t PortDriver66::Count(std::uint32_t function, std::uint32_t parameter2) {
    std::uint8_t record[port::kShortRecordLength] = {};
    std::uint8_t reply[kCountReplyLength] = {};
    FillPortRecord(record, function, 0, parameter2, reply);
    std::uint32_t returned = 0;
    if (!platform_.DeviceIoControl(transports_.portDriverHandle, port::kCode66, record,
                                   sizeof record, reply, sizeof reply, &returned))
        return 0;
    return reply[0];
}

std::uint8_t PortDriver66::GetDeviceCount() {
    return Count(port::kGetDeviceCount66, 0);
}

std::uint8_t PortDriver66::GetLunCount() {
    return Count(port::kGetLunCount66, PortParameter2(0, 0, static_cast<std::uint8_t>(device_)));
}

bool PortDriver66::SendCdb(std::uint32_t device, const ScsiCommand& command, void* buffer,
                           std::uint32_t length) {
    std::uint8_t record[port::kLongRecordLength];
    FillPortCdbRecord(record, device, command, buffer);
    std::uint32_t returned = 0;
    return platform_.DeviceIoControl(transports_.portDriverHandle, port::kCode66, record,
                                     sizeof record, buffer, length, &returned);
}

bool PortDriver66::ReadIdentity(std::uint32_t device, std::uint8_t* destination) {
    return SendCdb(device, ReadIdentityCommand(), destination, kReadIdentityLength);
}

bool PortDriver66::IspJump() {
    std::uint8_t local[8] = {};
    return SendCdb(static_cast<std::uint32_t>(device_), IspJumpCommand(CdbPath::PortDriver66),
                   local, 0);
}

bool PortDriver66::GetIspStatus(std::uint8_t& status) {
    // The request asks for 8 bytes but declares a transfer of 28.
    std::uint8_t reply[kPortStatusLength] = {};
    const bool ok = SendCdb(static_cast<std::uint32_t>(device_),
                            GetIspStatusCommand(CdbPath::PortDriver66), reply, kCountReplyLength);
    status = reply[0];
    return ok;
}

bool PortDriver66::IspTransfer(std::uint32_t device, std::uint32_t exactLength,
                               std::uint32_t roundedLength, std::uint8_t mode,
                               const std::uint8_t* image) {
    if (!TransferDescribable(exactLength, roundedLength)) return false;
    return SendCdb(device, IspTransferCommand(exactLength, roundedLength, mode),
                   const_cast<std::uint8_t*>(image), roundedLength);
}

}  // namespace usbisp
