// The operations a card reader's controller knows, by the names the bench
// file uses for them (`failures`, `scsiStatus`, `answers`), in one table.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace usbisp::sim {

enum class Operation {
    Open,  // opening a unit's drive
    Inquiry,
    ReadIdentity,
    IspJump,
    GetIspStatus,
    IspWrite,
    IspVerify,
    GetDeviceCount,
    GetLunCount,
    ReadIdentityBlock,
    ReadIdentityBlock2,
    GetFirmwareRevision,
    WriteAddressedBlock,
    MsJump,  // a block write of the switch block to the identity block address
};

const char* OperationName(Operation op);
std::optional<Operation> OperationNamed(std::string_view name);

// The names `failures` and `scsiStatus` may use: every request that reaches a
// reader on its own.
bool IsFailureOperation(std::string_view name);
// The commands whose status byte `answers` may replace.
bool IsAnswerCommand(std::string_view name);

// The operation a command block names; nothing for a block the controller
// does not know.
std::optional<Operation> OperationOf(const std::array<std::uint8_t, 16>& cdb);

// How many bytes a command moves in its data phase, by its own command block:
// the allocation length of INQUIRY (at most the 36 bytes a unit has), the
// identity block, the status and count replies, 512 per block of the block
// reads and transfers. IspJump moves none.
std::uint32_t CommandDataLength(Operation op, const std::array<std::uint8_t, 16>& cdb);
// The exact payload byte count of IspWrite and IspVerify.
std::uint32_t TransferByteCount(const std::array<std::uint8_t, 16>& cdb);

// The controller takes one transfer into its 64 KiB buffer: at most 128
// blocks. The block count is a whole byte, so a command block may name up to
// 255 of them; one that names more than the buffer holds is refused before any
// of its data is taken.
inline constexpr std::uint32_t kMaxTransferBlocks = 128;
inline constexpr std::uint32_t kControllerBufferLength = kMaxTransferBlocks * 512;
// Whether the block count of IspWrite or IspVerify fits the controller's buffer.
bool TransferFits(const std::array<std::uint8_t, 16>& cdb);
// The address of a block read.
std::uint32_t BlockAddress(const std::array<std::uint8_t, 16>& cdb);

}  // namespace usbisp::sim
