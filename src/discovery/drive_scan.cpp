#include "discovery/drive_scan.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "device/command_set.h"
#include "device/pass_through.h"
#include "discovery/identity.h"
#include "platform/win_constants.h"

namespace usbisp {

namespace {

constexpr std::size_t kSerialOffset = 98;
constexpr std::size_t kInquiryIdOffset = 8;
constexpr std::size_t kMatchedLength = 24;   // vendor and product
constexpr std::size_t kReaderIdLength = 28;  // vendor, product and revision

std::array<char, 12> SerialKey(const IdentityBlock& block) {
    std::array<char, 12> key{};
    for (std::size_t i = 0; i < key.size(); ++i)
        key[i] = static_cast<char>(block[kSerialOffset + 2 * i]);
    return key;
}

// The slot the unit belongs to, or nullptr when it is dropped. `isNew` tells
// whether the slot was free.
DeviceInfo* SlotFor(DeviceTable& devices, const std::array<char, 12>& key, bool& isNew) {
    for (DeviceInfo& slot : devices.deviceSlots) {
        if (slot.inUse != 0 && slot.usbSerial == key) {
            isNew = false;
            return &slot;
        }
    }
    for (DeviceInfo& slot : devices.deviceSlots) {
        if (slot.inUse == 0) {
            isNew = true;
            return &slot;
        }
    }
    return nullptr;
}

bool Matches(const std::uint8_t* inquiry, const char* identity, std::size_t length) {
    return std::memcmp(inquiry + kInquiryIdOffset, identity, length) == 0;
}

// Whether the drive open on driveHandle is wanted, and its identity block
// read into the table's buffer.
bool ProbeDrive(DiscoveryContext& ctx, PassThrough& pt, DriveScanForm form) {
    std::array<std::uint8_t, kIdentityBlockSize> inquiry{};
    if (!pt.Inquiry(0, inquiry.data())) return false;
    IdentityBlock& block = ctx.devices.identityBlock;
    if (form == DriveScanForm::Generic) {
        const bool wanted =
            Matches(inquiry.data(), ctx.updateData.faInquiry.data(), kMatchedLength) ||
            Matches(inquiry.data(), ctx.updateData.fbInquiry.data(), kMatchedLength);
        return wanted && pt.ReadIdentity(block.data());
    }
    if (!Matches(inquiry.data(), kSelfDriverReaderId, kReaderIdLength)) return false;
    return pt.ReadIdentityBlock2(block.data(), IdentityBlockAddress, 1) ||
           pt.ReadIdentityBlock(block.data(), IdentityBlockAddress, 1);
}

// Records a unit (letter 0 on the ASPI path, where the letters come later);
// returns the slot when the unit starts a new device.
DeviceInfo* RecordUnit(DiscoveryContext& ctx, char letter) {
    bool isNew = false;
    DeviceInfo* slot = SlotFor(ctx.devices, SerialKey(ctx.devices.identityBlock), isNew);
    if (slot == nullptr) return nullptr;  // all ten slots in use
    if (!isNew) {
        // A sixth unit has no letter place left; it is not recorded.
        if (slot->driveCount >= kMaxDriveLetters) return nullptr;
        ++slot->driveCount;
        ctx.app.selectedDriveCount = slot->driveCount;
        slot->driveLetters[slot->driveCount - 1u] = letter;
        return nullptr;
    }
    slot->driveCount = 1;
    slot->driveLetters[0] = letter;
    DecodeIdentity(ctx.devices.identityBlock, *slot, ctx.app);
    ++ctx.devices.deviceCount;
    return slot;
}

// Whether a drive that refused its open with access denied tells of a user
// who is no administrator: a local disk, removable or fixed, would open for
// one. A network drive may refuse everyone, and so does the drive of the whole
// Unix file system under Wine, whose type is not known.
bool RefusedForRights(Platform& platform, char letter) {
    const char root[] = {letter, ':', '\\', '\0'};
    const std::uint32_t type = platform.GetDriveTypeA(root);
    return type == win::kDriveRemovable || type == win::kDriveFixed;
}

void CloseDrive(DiscoveryContext& ctx) {
    ctx.platform.CloseHandle(ctx.transports.driveHandle);
    ctx.transports.driveHandle = kNullHandle;
}

}  // namespace

void AddUnit(DiscoveryContext& ctx, char letter) {
    RecordUnit(ctx, letter);
}

void AddAspiUnit(DiscoveryContext& ctx, std::uint8_t adapter, std::uint8_t target) {
    DeviceInfo* slot = RecordUnit(ctx, '\0');
    if (slot == nullptr) return;
    ctx.app.selectedDriveCount = 1;
    slot->aspiAdapter = adapter;
    slot->aspiTarget = target;
}

std::uint8_t ScanDrives(DiscoveryContext& ctx, DriveScanForm form) {
    if (form == DriveScanForm::Generic) ctx.transports.driveHandle = kNullHandle;
    PassThrough pt(ctx.platform, ctx.transports);
    const std::uint32_t mask = ctx.platform.GetLogicalDrives();
    for (int bit = 2; bit <= 25; ++bit) {
        if ((mask & (1u << bit)) == 0) continue;
        const char letter = static_cast<char>('A' + bit);
        const Handle handle = ctx.platform.CreateFileA(
            DrivePath(letter).c_str(), win::kGenericRead | win::kGenericWrite,
            win::kFileShareRead | win::kFileShareWrite, win::kOpenExisting, 0);
        // A drive that does not open is passed over; the handle stays null.
        if (handle == kInvalidHandle) {
            if (ctx.platform.GetLastError() == win::kErrorAccessDenied &&
                RefusedForRights(ctx.platform, letter))
                ctx.devices.driveAccessDenied = true;
            ctx.transports.driveHandle = kNullHandle;
            continue;
        }
        ctx.transports.driveHandle = handle;
        if (ProbeDrive(ctx, pt, form)) AddUnit(ctx, letter);
        CloseDrive(ctx);
    }
    ctx.app.selectedDevice = 0;
    return ctx.devices.deviceCount == 0 ? 1 : 0;
}

}  // namespace usbisp
