// The controller's command set: the standard INQUIRY and the vendor commands,
// built byte by byte as 12-byte command blocks. Every transport that carries a
// command block sends all 12 bytes; only ASPI declares INQUIRY as 6.
#pragma once

#include <array>
#include <cstdint>

namespace usbisp {

using VendorCommand = std::array<std::uint8_t, 12>;

// The status byte a GetIspStatus reply carries in its byte 0.
enum IspStatus : std::uint8_t {
    IspStatusJumpOk = 0x9C,          // the controller runs its in-system-programming code
    IspStatusWriteOk = 0xA5,         // the image was received and programmed
    IspStatusVerifyOk = 0x5A,        // the image sent equals the programmed firmware
    IspStatusVerifyMismatch = 0x33,  // the image sent differs from the programmed firmware
};

// Where the controller keeps its identity block; the only address the block
// reads use.
inline constexpr std::uint32_t IdentityBlockAddress = 0x04A55A30u;

// Data phases.
inline constexpr std::uint32_t kInquiryLength = 36;
inline constexpr std::uint32_t kAspiInquiryLength = 40;
inline constexpr std::uint32_t kReadIdentityLength = 528;
inline constexpr std::uint32_t kStatusReplyLength = 8;  // GetIspStatus, the two counts
inline constexpr std::uint32_t kPortStatusLength = 28;  // GetIspStatus on code 66 and ASPI
inline constexpr std::uint32_t kIdentityBlockReadLength = 512;
inline constexpr std::uint32_t kBlockSize = 512;
// One transfer carries at most this many data bytes (128 blocks); its exact
// byte count is at most 65535, since the command holds it in 16 bits.
inline constexpr std::uint32_t kMaxTransferLength = 65536;
inline constexpr std::uint32_t kMaxPayloadLength = 65535;

// Pass-through time-outs, seconds.
inline constexpr std::uint32_t kShortTimeout = 2;
inline constexpr std::uint32_t kLongTimeout = 30;  // GetIspStatus, IspWrite, IspVerify

// The access paths that carry command blocks. They differ only in IspJump
// (byte 5) and, outside the block, in the INQUIRY length ASPI declares and
// the status reply length.
enum class CdbPath { PassThrough, PortDriver66, Aspi };

// n rounded up to the next multiple of 512 (n itself when it is one).
std::uint32_t RoundedLength(std::uint32_t n);

// 12 32*L 00 00 24 00, then zeros; L is the logical unit (always 0 here).
VendorCommand InquiryCommand(std::uint8_t unit);
// The ASPI form: 12 00 00 00 28 00, declared with a CDB length of 6.
VendorCommand AspiInquiryCommand();
inline constexpr std::uint8_t kAspiInquiryCdbLength = 6;

VendorCommand ReadIdentityCommand();
VendorCommand IspJumpCommand(CdbPath path);
VendorCommand GetIspStatusCommand();
// mode 0 programs (IspWrite: B1, 00), any other mode compares (IspVerify: B2,
// mode). Bytes 4 and 5 carry the exact byte count, byte 6 the rounded count
// in 512-byte blocks.
VendorCommand IspTransferCommand(std::uint32_t exactLength, std::uint32_t roundedLength,
                                 std::uint8_t mode);
VendorCommand GetDeviceCountCommand();
VendorCommand GetLunCountCommand();
VendorCommand ReadIdentityBlockCommand(std::uint32_t address, std::uint8_t blocks);
VendorCommand ReadIdentityBlock2Command(std::uint32_t address, std::uint8_t blocks);

}  // namespace usbisp
