// The byte records the program hands to Windows, held against this Windows'
// own declarations at compile time. The core writes every record byte by
// byte at fixed offsets (the same bytes on every build); here a 32-bit build
// whose headers disagree with those offsets does not compile, so no program
// ever sends a record its Windows would read differently.
//
// A 64-bit Windows lays the records out differently (SCSI_PASS_THROUGH grows
// to 56 bytes, the drivers' records would carry 64-bit addresses), and the
// maker's drivers exist for 32-bit Windows only. The 64-bit build serves the
// tests under Wine alone: its platform layer sends none of these records.
#include <windows.h>
// In this order: winioctl.h needs the base types of windows.h,
#include <winioctl.h>
// and ntddscsi.h builds its control codes with winioctl.h's CTL_CODE.
#include <ntddscsi.h>

#include <cstddef>

#include "device/kernel_driver.h"
#include "device/pass_through.h"
#include "device/port_driver.h"
#include "platform/aspi.h"
#include "platform/win_constants.h"

namespace usbisp::win32 {
namespace {

// The SCSI pass-through request of Windows 2000 and XP: the header at the
// start of the transfer buffer, then the sense and data areas it points to.
constexpr bool kPassThroughHeaderMatches =
    sizeof(SCSI_PASS_THROUGH) == spt::kHeaderLength &&
    offsetof(SCSI_PASS_THROUGH, Length) == spt::kLengthOffset &&
    offsetof(SCSI_PASS_THROUGH, ScsiStatus) == spt::kStatusOffset &&
    offsetof(SCSI_PASS_THROUGH, PathId) == spt::kPathIdOffset &&
    offsetof(SCSI_PASS_THROUGH, TargetId) == spt::kTargetIdOffset &&
    offsetof(SCSI_PASS_THROUGH, Lun) == spt::kLunOffset &&
    offsetof(SCSI_PASS_THROUGH, CdbLength) == spt::kCdbLengthOffset &&
    offsetof(SCSI_PASS_THROUGH, SenseInfoLength) == spt::kSenseInfoLengthOffset &&
    offsetof(SCSI_PASS_THROUGH, DataIn) == spt::kDataInOffset &&
    offsetof(SCSI_PASS_THROUGH, DataTransferLength) == spt::kDataTransferLengthOffset &&
    offsetof(SCSI_PASS_THROUGH, TimeOutValue) == spt::kTimeOutValueOffset &&
    offsetof(SCSI_PASS_THROUGH, DataBufferOffset) == spt::kDataBufferOffsetOffset &&
    offsetof(SCSI_PASS_THROUGH, SenseInfoOffset) == spt::kSenseInfoOffsetOffset &&
    offsetof(SCSI_PASS_THROUGH, Cdb) == spt::kCdbOffset &&
    sizeof(SCSI_PASS_THROUGH::Cdb) == spt::kCdbCapacity;

// The control code and the direction values are the same on every build.
static_assert(IOCTL_SCSI_PASS_THROUGH == win::kIoctlScsiPassThrough);
static_assert(SCSI_IOCTL_DATA_IN == spt::kDataIn && SCSI_IOCTL_DATA_OUT == spt::kDataOut);

#if defined(_WIN64)
// Proof that the 64-bit build must not send the header: were it ever to
// match, the refusal in the platform layer would deserve a second look.
static_assert(!kPassThroughHeaderMatches, "the 64-bit SCSI_PASS_THROUGH now matches the core's");
#else
static_assert(
    kPassThroughHeaderMatches,
    "the pass-through header the core writes differs from this Windows' SCSI_PASS_THROUGH");
// The sense and data areas lie behind the header, word-aligned.
static_assert(spt::kSenseOffset >= sizeof(SCSI_PASS_THROUGH) && spt::kSenseOffset % 4 == 0);
static_assert(spt::kDataOffset >= spt::kSenseOffset + spt::kSenseLength &&
              spt::kDataOffset % 4 == 0);
#endif

// The kernel driver's three control codes: device type 0x22 (unknown),
// buffered, any access, functions 0x801 to 0x803. Its request and the port
// drivers' records carry no pointer-sized field of their own making: the core
// writes every field, buffer addresses as 32 bits, at fixed offsets.
static_assert(kdrv::kIspJump ==
              CTL_CODE(FILE_DEVICE_UNKNOWN, 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS));
static_assert(kdrv::kGetIspStatus ==
              CTL_CODE(FILE_DEVICE_UNKNOWN, 0x802, METHOD_BUFFERED, FILE_ANY_ACCESS));
static_assert(kdrv::kIspTransfer ==
              CTL_CODE(FILE_DEVICE_UNKNOWN, 0x803, METHOD_BUFFERED, FILE_ANY_ACCESS));
static_assert(kdrv::kRequestLength == kdrv::kHeaderLength + 65536);
static_assert(port::kShortRecordLength == 4 * sizeof(DWORD) &&
              port::kLongRecordLength == 6 * sizeof(DWORD) + 16);
static_assert(win::kFileFlagDeleteOnClose == FILE_FLAG_DELETE_ON_CLOSE);
static_assert(win::kKeyAllAccess == KEY_ALL_ACCESS);
// The last errors the core tells apart after a failed open.
static_assert(win::kErrorOpenFileNotFound == ERROR_FILE_NOT_FOUND &&
              win::kErrorAccessDenied == ERROR_ACCESS_DENIED &&
              win::kErrorGenFailure == ERROR_GEN_FAILURE &&
              win::kErrorSharingViolation == ERROR_SHARING_VIOLATION);

// The ASPI request block is the one struct among the records (it holds real
// pointers): platform/aspi.h holds its offsets to the published 32-bit layout
// of SRB_ExecSCSICmd, 80 bytes, wherever pointers are 4 bytes wide.
static_assert(sizeof(void*) != 4 || sizeof(aspi::SrbExecScsiCmd) == 80);

}  // namespace
}  // namespace usbisp::win32
