// The maker's port drivers of Windows 95/98 and ME, opened as a device and
// driven with two request families:
//
// - control code 65, a 16-byte record (function, parameter 1, parameter 2,
//   buffer address) per operation: the driver knows every operation itself
//   ("ZIZIRADA.ZAV", "ZQ_URDR.PDR");
// - control code 66 ("RE20RERI.VAR"), the same 16-byte record for the two
//   counts and a 40-byte record that carries a command block (function 3).
//
// Parameter 2 holds the block count or mode in byte 0, the unit (always 0) in
// byte 2 and the device index in byte 3: selectedDevice at the time of the
// call. Every reply buffer is cleared before its request, so a count or status
// the driver does not fill reads as 0. Nothing looks at a SCSI status here.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "device/command_set.h"
#include "device/driver_path.h"
#include "device/transports.h"
#include "platform/platform.h"

namespace usbisp {

namespace port {
inline constexpr std::uint32_t kCode65 = 65;
inline constexpr std::uint32_t kCode66 = 66;
inline constexpr std::uint32_t kShortRecordLength = 16;
inline constexpr std::uint32_t kLongRecordLength = 40;

// The functions of control code 65.
inline constexpr std::uint32_t kReadIdentityBlock = 1;
inline constexpr std::uint32_t kGetDeviceCount65 = 10;
inline constexpr std::uint32_t kGetLunCount65 = 11;
inline constexpr std::uint32_t kIspJump = 20;
inline constexpr std::uint32_t kGetIspStatus = 21;
inline constexpr std::uint32_t kIspTransfer = 22;
inline constexpr std::uint32_t kGetFirmwareRevision = 26;
inline constexpr std::uint32_t kReadIdentityBlock2 = 31;
inline constexpr std::uint32_t kWriteAddressedBlock = 32;
// The functions of control code 66.
inline constexpr std::uint32_t kGetDeviceCount66 = 1;
inline constexpr std::uint32_t kGetLunCount66 = 2;
inline constexpr std::uint32_t kPassCdb = 3;

// The direction field of the 40-byte record.
inline constexpr std::uint32_t kNoData = 0;
inline constexpr std::uint32_t kDataIn = 1;
inline constexpr std::uint32_t kDataOut = 2;
}  // namespace port

using FirmwareRevisionBytes = std::array<std::uint8_t, 8>;

// Parameter 2: block count or mode, unit, device index.
std::uint32_t PortParameter2(std::uint8_t countOrMode, std::uint8_t unit, std::uint8_t device);

// The 16-byte record: function, parameter 1, parameter 2 and the buffer's
// address as 32 bits.
void FillPortRecord(std::uint8_t* record, std::uint32_t function, std::uint32_t parameter1,
                    std::uint32_t parameter2, const void* buffer);

// The 40-byte record of code 66: function 3, device, target, the 12 bytes of
// the command block and four zeros, direction, transfer length, buffer address.
void FillPortCdbRecord(std::uint8_t* record, std::uint32_t device, const ScsiCommand& command,
                       const void* buffer);

// Opens the port driver named by the driver file into portDriverHandle,
// exclusively; code 66 with FILE_FLAG_DELETE_ON_CLOSE. 0 = opened, 1 = failed
// (the handle stays null).
std::uint8_t OpenPortDriver65(Platform& platform, Transports& transports,
                              const std::string& driverFileName);
std::uint8_t OpenPortDriver66(Platform& platform, Transports& transports,
                              const std::string& driverFileName);
// Closes portDriverHandle when it is open; safe to repeat.
void ClosePortDriver(Platform& platform, Transports& transports);

// The requests of control code 65, addressed to `device` (selectedDevice).
class PortDriver65 {
  public:
    PortDriver65(Platform& platform, Transports& transports, const int& device)
        : platform_(platform), transports_(transports), device_(device) {}

    // 512 bytes per block.
    bool ReadIdentityBlock(std::uint8_t* destination, std::uint32_t address, std::uint8_t blocks);
    bool ReadIdentityBlock2(std::uint8_t* destination, std::uint32_t address, std::uint8_t blocks);
    // 0 when the request fails.
    std::uint8_t GetDeviceCount();
    std::uint8_t GetLunCount();
    bool IspJump();
    // The reply byte is handed back in every case.
    bool GetIspStatus(std::uint8_t& status);
    // The exact byte count; the driver reads the payload behind the pointer.
    bool IspTransfer(const std::uint8_t* payload, std::uint32_t count, std::uint8_t mode);
    // Declared as one byte; the driver fills all eight through the address.
    bool GetFirmwareRevision(FirmwareRevisionBytes& revision);
    bool WriteAddressedBlock(const std::uint8_t* source, std::uint32_t address,
                             std::uint8_t blocks);

  private:
    bool Send(std::uint32_t function, std::uint32_t parameter1, std::uint32_t parameter2,
              const void* buffer, std::uint32_t length);
    std::uint8_t Device() const { return static_cast<std::uint8_t>(device_); }

    Platform& platform_;
    Transports& transports_;
    const int& device_;
};

// The requests of control code 66.
class PortDriver66 {
  public:
    PortDriver66(Platform& platform, Transports& transports, const int& device)
        : platform_(platform), transports_(transports), device_(device) {}

    std::uint8_t GetDeviceCount();
    // The unit count of selectedDevice.
    std::uint8_t GetLunCount();
    // The 528-byte identity block of `device` (target 0).
    bool ReadIdentity(std::uint32_t device, std::uint8_t* destination);
    bool IspJump();
    // Declares 28 bytes into a reply of 8; the buffer behind the record holds
    // all 28 a driver may write.
    bool GetIspStatus(std::uint8_t& status);
    // The rounded length straight from `image`, which must hold that many
    // bytes; the command carries the exact count.
    bool IspTransfer(std::uint32_t device, std::uint32_t exactLength, std::uint32_t roundedLength,
                     std::uint8_t mode, const std::uint8_t* image);

  private:
    std::uint8_t Count(std::uint32_t function, std::uint32_t parameter2);
    bool SendCdb(std::uint32_t device, const ScsiCommand& command, void* buffer,
                 std::uint32_t length);

    Platform& platform_;
    Transports& transports_;
    const int& device_;
};

}  // namespace usbisp
