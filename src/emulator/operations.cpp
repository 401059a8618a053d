#include "emulator/operations.h"

#include <algorithm>
#include <iterator>

#include "platform/byte_order.h"

namespace usbisp::sim {

namespace {

struct OperationRow {
    Operation op;
    const char* name;
    bool failable;    // a request of its own: `failures` and `scsiStatus` name it
    bool answerable;  // `answers` may replace the status it leaves
};

constexpr OperationRow kOperations[] = {
    {Operation::Open, "Open", true, false},
    {Operation::Inquiry, "Inquiry", true, false},
    {Operation::ReadIdentity, "ReadIdentity", true, false},
    {Operation::IspJump, "IspJump", true, true},
    {Operation::GetIspStatus, "GetIspStatus", true, false},
    {Operation::IspWrite, "IspWrite", true, true},
    {Operation::IspVerify, "IspVerify", true, true},
    {Operation::GetDeviceCount, "GetDeviceCount", true, false},
    {Operation::GetLunCount, "GetLunCount", true, false},
    {Operation::ReadIdentityBlock, "ReadIdentityBlock", true, false},
    {Operation::ReadIdentityBlock2, "ReadIdentityBlock2", true, false},
    {Operation::GetFirmwareRevision, "GetFirmwareRevision", true, false},
    {Operation::WriteAddressedBlock, "WriteAddressedBlock", true, false},
    // The switch travels as a WriteAddressedBlock, which `failures` names.
    {Operation::MsJump, "MsJump", false, true},
};

const OperationRow* Find(std::string_view name) {
    for (const OperationRow& row : kOperations)
        if (name == row.name) return &row;
    return nullptr;
}

}  // namespace

const char* OperationName(Operation op) {
    for (const OperationRow& row : kOperations)
        if (row.op == op) return row.name;
    return "";
}

std::optional<Operation> OperationNamed(std::string_view name) {
    const OperationRow* row = Find(name);
    if (row == nullptr) return std::nullopt;
    return row->op;
}

bool IsFailureOperation(std::string_view name) {
    const OperationRow* row = Find(name);
    return row != nullptr && row->failable;
}

bool IsAnswerCommand(std::string_view name) {
    const OperationRow* row = Find(name);
    return row != nullptr && row->answerable;
}

std::optional<Operation> OperationOf(const std::array<std::uint8_t, 16>& cdb) {
    switch (cdb[0]) {
        case 0x12:
            return Operation::Inquiry;
        case 0x06:
            switch (cdb[1]) {
                case 0x05:
                    return Operation::ReadIdentity;
                case 0xBF:
                    return Operation::IspJump;
                case 0xB0:
                    return Operation::GetIspStatus;
                case 0xB1:
                    if (cdb[2] == 0) return Operation::IspWrite;
                    return std::nullopt;
                case 0xB2:
                    if (cdb[2] == 1) return Operation::IspVerify;
                    return std::nullopt;
                default:
                    return std::nullopt;
            }
        case 0xFF:
            switch (cdb[1]) {
                case 0x01:
                    return Operation::GetDeviceCount;
                case 0x02:
                    return Operation::GetLunCount;
                case 0x03:
                    return Operation::ReadIdentityBlock;
                case 0x13:
                    return Operation::ReadIdentityBlock2;
                default:
                    return std::nullopt;
            }
        default:
            return std::nullopt;
    }
}

std::uint32_t CommandDataLength(Operation op, const std::array<std::uint8_t, 16>& cdb) {
    constexpr std::uint32_t kBlock = 512;
    constexpr std::uint32_t kInquiryDataLength = 36;
    switch (op) {
        case Operation::Inquiry:
            return std::min<std::uint32_t>(GetBe16(&cdb[3]), kInquiryDataLength);
        case Operation::ReadIdentity:
            return 528;
        case Operation::GetIspStatus:
        case Operation::GetDeviceCount:
        case Operation::GetLunCount:
            return 8;
        case Operation::ReadIdentityBlock:
        case Operation::ReadIdentityBlock2:
            return cdb[8] * kBlock;
        case Operation::IspWrite:
        case Operation::IspVerify:
            return cdb[6] * kBlock;
        default:
            return 0;
    }
}

std::uint32_t TransferByteCount(const std::array<std::uint8_t, 16>& cdb) {
    return GetLe16(&cdb[4]);
}

bool TransferFits(const std::array<std::uint8_t, 16>& cdb) {
    return cdb[6] <= kMaxTransferBlocks;
}

std::uint32_t BlockAddress(const std::array<std::uint8_t, 16>& cdb) {
    return GetBe32(&cdb[2]);
}

}  // namespace usbisp::sim
