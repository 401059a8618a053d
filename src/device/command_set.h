// The controller's command set: the standard INQUIRY and the vendor commands,
// built byte by byte as 12-byte command blocks with their data phases. Every
// transport that carries a command block sends all 12 bytes; only ASPI
// declares INQUIRY as 6. The kernel driver and the code-65 port driver take
// numbered requests instead and build the blocks themselves.
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
// (byte 5), in the INQUIRY that ASPI declares as 6 bytes asking for 40, and in
// the 28 bytes the status read asks for on code 66 and ASPI.
enum class CdbPath { PassThrough, PortDriver66, Aspi };

// One command as a path that carries command blocks sends it: the block, how
// many of its bytes are declared, the data phase and the pass-through time-out.
struct ScsiCommand {
    VendorCommand cdb{};
    std::uint8_t cdbLength = 12;
    // Every command is declared as data in except the transfers; IspJump
    // declares data in with no data.
    bool dataIn = true;
    std::uint32_t dataLength = 0;
    std::uint32_t timeoutSeconds = kShortTimeout;
};

// n rounded up to the next multiple of 512 (n itself when it is one).
std::uint32_t RoundedLength(std::uint32_t n);

// Whether a transfer command can describe these counts: whole blocks, at most
// 64 KB of them, holding the exact count, which fits its 16 bits. Nothing is
// sent that it cannot.
bool TransferDescribable(std::uint32_t exactLength, std::uint32_t roundedLength);

// 12 32*L 00 00 24 00, then zeros; L is the logical unit (always 0 here).
ScsiCommand InquiryCommand(std::uint8_t unit);
// The ASPI form: 12 00 00 00 28 00, declared with a CDB length of 6.
ScsiCommand AspiInquiryCommand();

ScsiCommand ReadIdentityCommand();
ScsiCommand IspJumpCommand(CdbPath path);
ScsiCommand GetIspStatusCommand(CdbPath path);
// mode 0 programs (IspWrite: B1, 00), any other mode compares (IspVerify: B2,
// mode). Bytes 4 and 5 carry the exact byte count, byte 6 the rounded count
// in 512-byte blocks; the data phase is the rounded count.
ScsiCommand IspTransferCommand(std::uint32_t exactLength, std::uint32_t roundedLength,
                               std::uint8_t mode);
ScsiCommand GetDeviceCountCommand();
ScsiCommand GetLunCountCommand();
ScsiCommand ReadIdentityBlockCommand(std::uint32_t address, std::uint8_t blocks);
ScsiCommand ReadIdentityBlock2Command(std::uint32_t address, std::uint8_t blocks);

}  // namespace usbisp
