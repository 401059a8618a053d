#include "firmware/ms_controller.h"

#include "device/command_set.h"
#include "device/port_driver.h"

namespace usbisp {

namespace {

constexpr const char* kWriteError = "Write data Error\n";
constexpr const char* kOldMainRevisions[] = {"verM1.1a", "verM1.2a", "verM1.2b"};

}  // namespace

MsJumpBlock MakeMsJumpBlock() {
    MsJumpBlock block{};
    block[0] = 0xAA;
    block[1] = 0x55;
    block[2] = 0xBB;
    block[3] = 0x66;
    return block;
}

std::string MsRevisionText(const MsRevisionBytes& bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        for (std::uint8_t b : {bytes[i + 1], bytes[i]})
            if (b != 0) text += static_cast<char>(b);
    }
    return text;
}

bool IsOldMsMainFirmware(const std::string& revision) {
    for (const char* old : kOldMainRevisions)
        if (revision == old) return true;
    return false;
}

bool MsJump(FirmwareContext& ctx) {
    ctx.app.selectedDevice = 0;
    const MsJumpBlock block = MakeMsJumpBlock();
    PortDriver65 driver(ctx.platform, ctx.transports, ctx.app.selectedDevice);
    if (driver.WriteAddressedBlock(block.data(), IdentityBlockAddress, 1)) return true;
    ctx.view.MessageBox(kWriteError, kProgramName, BoxIcon::None);
    ClosePortDriver(ctx.platform, ctx.transports);
    return false;
}

}  // namespace usbisp
