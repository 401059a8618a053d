#include "firmware/firmware.h"

#include "firmware/banner.h"
#include "firmware/image_file.h"
#include "firmware/sequences.h"

namespace usbisp {

namespace {

// The verification flow's own title, kept letter for letter with its trailing spaces.
constexpr const char* kVerifyTitle = "==  Verify Firmware Program Ver1.60             ";

}  // namespace

void VerifyFirmware(FirmwareContext& ctx) {
    const ClosesAccessPathOnReturn closes(ctx);
    const OperatorMessages messages{ctx.view, ctx.app.statusText};
    StartBanner(messages, kVerifyTitle);
    const std::string romCodeFile = FieldText(ctx.updateData.romCodeFile);
    FirmwareImage& image = ctx.firmware.firmwareImage;
    if (!LoadRomCodeFile(ctx.platform, messages, romCodeFile.c_str(), image)) return;
    RomCodeLines(messages, romCodeFile, ctx.app.driverFileName);
    // The image is compared exactly as the file holds it: no header check, no
    // stamping.
    auto path = MakeAccessPath(ctx.access())->SequencePath();
    VerifyImage(ctx, *path, image.length);
}

void CloseDevice(FirmwareContext& ctx) {
    MakeAccessPath(ctx.access())->Close();
}

}  // namespace usbisp
