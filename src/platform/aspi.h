// ASPI for Win32 as its library publishes it: the request block of a SCSI
// command (SC_EXEC_SCSI_CMD) and the values the program puts into it or reads
// back. The block holds real pointers (the data buffer, the completion
// routine), so unlike the other records it is a struct: packed to the
// published layout, which on 32-bit Windows is 80 bytes; the native build uses
// the same struct at its own pointer width, read only by the bench.
#pragma once

#include <cstddef>
#include <cstdint>

namespace usbisp::aspi {

inline constexpr const char* kLibrary = "WNASPI32";
inline constexpr const char* kGetSupportInfo = "GetASPI32SupportInfo";
inline constexpr const char* kSendCommand = "SendASPI32Command";

inline constexpr std::uint8_t kExecScsiCmd = 0x02;  // SC_EXEC_SCSI_CMD

// SRB_Flags.
inline constexpr std::uint8_t kPosting = 0x01;  // SRB_POSTING
inline constexpr std::uint8_t kDirIn = 0x08;    // SRB_DIR_IN
inline constexpr std::uint8_t kDirOut = 0x10;   // SRB_DIR_OUT

// SRB_Status.
inline constexpr std::uint8_t kPending = 0x00;    // SS_PENDING
inline constexpr std::uint8_t kComplete = 0x01;   // SS_COMP
inline constexpr std::uint8_t kError = 0x04;      // SS_ERR
inline constexpr std::uint8_t kInvalidHa = 0x81;  // SS_INVALID_HA
inline constexpr std::uint8_t kNoDevice = 0x82;   // SS_NO_DEVICE

inline constexpr std::uint8_t kSenseLength = 14;  // SENSE_LEN

// The completion routine ASPI calls with the request block.
using PostProc = void (*)(void* requestBlock);

#pragma pack(push, 1)
struct SrbExecScsiCmd {
    std::uint8_t SRB_Cmd;
    std::uint8_t SRB_Status;
    std::uint8_t SRB_HaId;
    std::uint8_t SRB_Flags;
    std::uint32_t SRB_Hdr_Rsvd;
    std::uint8_t SRB_Target;
    std::uint8_t SRB_Lun;
    std::uint16_t SRB_Rsvd1;
    std::uint32_t SRB_BufLen;
    std::uint8_t* SRB_BufPointer;
    std::uint8_t SRB_SenseLen;
    std::uint8_t SRB_CDBLen;
    std::uint8_t SRB_HaStat;
    std::uint8_t SRB_TargStat;
    PostProc SRB_PostProc;
    void* SRB_Rsvd2;
    std::uint8_t SRB_Rsvd3[16];
    std::uint8_t CDBByte[16];
    std::uint8_t SenseArea[kSenseLength + 2];
};
#pragma pack(pop)

// The published 32-bit layout.
static_assert(offsetof(SrbExecScsiCmd, SRB_Target) == 8);
static_assert(offsetof(SrbExecScsiCmd, SRB_BufLen) == 12);
static_assert(offsetof(SrbExecScsiCmd, SRB_BufPointer) == 16);
static_assert(sizeof(void*) != 4 ||
              (offsetof(SrbExecScsiCmd, SRB_SenseLen) == 20 &&
               offsetof(SrbExecScsiCmd, SRB_PostProc) == 24 &&
               offsetof(SrbExecScsiCmd, CDBByte) == 48 &&
               offsetof(SrbExecScsiCmd, SenseArea) == 64 && sizeof(SrbExecScsiCmd) == 80));

// GetASPI32SupportInfo: the number of host adapters in the low byte, the
// state in the second.
inline std::uint8_t HostAdapters(std::uint32_t supportInfo) {
    return static_cast<std::uint8_t>(supportInfo);
}
inline std::uint8_t SupportState(std::uint32_t supportInfo) {
    return static_cast<std::uint8_t>(supportInfo >> 8);
}
// ASPI is there to use: it has a host adapter and reports its state as
// completed.
inline bool SupportReady(std::uint32_t supportInfo) {
    return HostAdapters(supportInfo) != 0 && SupportState(supportInfo) == kComplete;
}

}  // namespace usbisp::aspi
