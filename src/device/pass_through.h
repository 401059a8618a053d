// The SCSI pass-through: the vendor commands sent on a drive handle with
// IOCTL_SCSI_PASS_THROUGH, on Windows 2000 and XP.
//
// How a caller uses it:
//
//     PassThrough pt(platform, transports);
//     if (!pt.OpenSelectedDrive(slot.inUse != 0, slot.driveLetters[0])) ...report...
//     pt.IspJump();                        // then Sleep(100)
//     std::uint8_t status = 0;
//     pt.GetIspStatus(status);             // IspStatusJumpOk expected
//     pt.LoadPayload(image, length);       // zeroes the buffer, copies the image
//     pt.IspTransfer(length, RoundedLength(length), 0);   // 0 = IspWrite, 1 = IspVerify
//     pt.GetIspStatus(status);             // IspStatusWriteOk / IspStatusVerifyOk ...
//     pt.CloseSelectedDrive();
//
// Every primitive but IspTransfer zeroes the whole transfer buffer first, so
// the payload must be loaded right before IspTransfer. Every primitive but the
// two counts succeeds only when the request succeeded and the SCSI status is
// GOOD: a real reader answers a command it refuses (an identity read while it
// runs its ISP code, say) with CHECK CONDITION and no data, and the zeros left
// in the buffer must not pass for an identity. A failed read leaves the
// destination untouched. GetDeviceCount and
// GetLunCount are sent only when the kernel driver opens (it carries the 0xFF
// commands) and give 0 otherwise. Discovery opens driveHandle itself for each
// drive it probes; every other caller goes through OpenSelectedDrive.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "device/command_set.h"
#include "device/transports.h"
#include "platform/platform.h"

namespace usbisp {

// The layout of the transfer buffer: the SCSI_PASS_THROUGH header of 32-bit
// Windows, the sense area and the data area. The Windows build holds these
// offsets against the SCSI_PASS_THROUGH of its own headers at compile time.
namespace spt {
inline constexpr std::uint16_t kHeaderLength = 44;
inline constexpr std::size_t kLengthOffset = 0;
inline constexpr std::size_t kStatusOffset = 2;  // ScsiStatus
inline constexpr std::size_t kPathIdOffset = 3;
inline constexpr std::size_t kTargetIdOffset = 4;
inline constexpr std::size_t kLunOffset = 5;
inline constexpr std::size_t kCdbLengthOffset = 6;
inline constexpr std::size_t kSenseInfoLengthOffset = 7;
inline constexpr std::size_t kDataInOffset = 8;
inline constexpr std::size_t kDataTransferLengthOffset = 12;
inline constexpr std::size_t kTimeOutValueOffset = 16;
inline constexpr std::size_t kDataBufferOffsetOffset = 20;
inline constexpr std::size_t kSenseInfoOffsetOffset = 24;
inline constexpr std::size_t kCdbOffset = 28;
inline constexpr std::size_t kCdbCapacity = 16;
inline constexpr std::uint32_t kSenseOffset = 48;
inline constexpr std::uint8_t kSenseLength = 24;
inline constexpr std::uint32_t kDataOffset = 80;
inline constexpr std::uint8_t kDataOut = 0;  // SCSI_IOCTL_DATA_OUT
inline constexpr std::uint8_t kDataIn = 1;   // SCSI_IOCTL_DATA_IN
}  // namespace spt

// Writes the header for one command at the start of `buffer` (at least 44
// bytes): Length 44, PathId 0, TargetId 1, Lun 0, CdbLength 12, sense 24 bytes
// at 48, data at 80, and the command's direction, length, time-out and CDB.
void FillPassThroughHeader(std::uint8_t* buffer, const ScsiCommand& command);

// The path a drive letter opens by: "\\.\E:" for E.
std::string DrivePath(char letter);

class PassThrough {
  public:
    PassThrough(Platform& platform, Transports& transports)
        : platform_(platform), transports_(transports) {}

    // Opens the first drive of the selected device into driveHandle. Fails at
    // once, without touching driveHandle, when the selected slot is not in use.
    bool OpenSelectedDrive(bool slotInUse, char firstDriveLetter);
    void CloseSelectedDrive();

    // 36 bytes of inquiry data for the logical unit (always 0 here).
    bool Inquiry(std::uint8_t unit, std::uint8_t* destination);
    // The 528-byte identity block.
    bool ReadIdentity(std::uint8_t* destination);
    bool IspJump();
    // The status byte is stored whether or not the request succeeded.
    bool GetIspStatus(std::uint8_t& status);
    // The data area of the transfer buffer, where IspTransfer's payload goes.
    std::uint8_t* DataArea() { return transports_.transferBuffer.data() + spt::kDataOffset; }
    // Zeroes the whole transfer buffer and copies the payload (at most 65536
    // bytes; more is cut) to the start of the data area.
    void LoadPayload(const std::uint8_t* payload, std::size_t length);
    // Sends the loaded payload: mode 0 programs (IspWrite), 1 compares
    // (IspVerify). Refused without a request when the rounded count does not
    // fit the data area or does not hold the exact count.
    bool IspTransfer(std::uint32_t exactLength, std::uint32_t roundedLength, std::uint8_t mode);
    // 0 when the kernel driver named by driverFileName does not open, or the
    // request failed.
    std::uint8_t GetDeviceCount(const std::string& driverFileName);
    std::uint8_t GetLunCount(const std::string& driverFileName);
    // 512 bytes.
    bool ReadIdentityBlock(std::uint8_t* destination, std::uint32_t address, std::uint8_t blocks);
    bool ReadIdentityBlock2(std::uint8_t* destination, std::uint32_t address, std::uint8_t blocks);

    // Carries one command on driveHandle: the header in front of the transfer
    // buffer, input length 44 (data in) or up to the end of the data phase
    // (data out), output length up to the end of the data phase. True when the
    // request succeeded; the SCSI status is not looked at here.
    bool Carry(const ScsiCommand& command);
    // The SCSI status of the last request: 0 is GOOD.
    std::uint8_t ScsiStatus() const { return transports_.transferBuffer[spt::kStatusOffset]; }

  private:
    // A data-in command, zeroing the buffer first and copying its data phase
    // out when the request succeeded with GOOD status.
    bool Read(const ScsiCommand& command, std::uint8_t* destination);
    std::uint8_t Count(const ScsiCommand& command, const std::string& driverFileName);
    void ClearBuffer();

    Platform& platform_;
    Transports& transports_;
};

}  // namespace usbisp
