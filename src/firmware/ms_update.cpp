// The Memory Stick companion controller update: its main firmware revision,
// the switch into its loader, the image sent (stored or compared) in up to
// three attempts, and the switch back into the main firmware.
#include "access/access_path.h"
#include "device/command_set.h"
#include "device/port_driver.h"
#include "firmware/banner.h"
#include "firmware/firmware.h"
#include "firmware/flow_report.h"
#include "firmware/image_file.h"
#include "firmware/ms_controller.h"
#include "firmware/sequences.h"

namespace usbisp {

namespace {

// The Memory Stick runs' own texts, kept letter for letter ("Cammand", "reponse", "sucessfull", the
// trailing spaces): operators and their scripts know them, so they are never corrected.
constexpr const char* kProgramTitle = "==  MS Internal System Program Ver1.10                ==";
constexpr const char* kVerifyTitle = "==  MS Romcode Verify Program  Ver1.10                ==";
constexpr const char* kProgramCaption = "    ISP status : ";
constexpr const char* kVerifyCaption = " Verify status : ";
constexpr const char* kNotReady =
    "ERROR: Device Not Ready for ISP!! \n"
    "  P/S: May be the [MS Card not insert] or other problem!!!";
constexpr const char* kMainRevisionBefore = "MS 32K Revision[before ISP]:";
constexpr const char* kMainRevision = "MS 32K Revision :";
constexpr const char* kNoVerify = "ERROR: Device Not Support Verify Cammand!! ";
constexpr const char* kJumpFailed = "Error!!! JMP MS ISP STATUS ERROR!!!";
constexpr const char* kStatusFailed = "Error!!! GET MS ISP STATUS ERROR!!!";
constexpr const char* kJumpAnswer = "Error!!! DEBUG : JMP MS ISP reponse status : ";
constexpr const char* kLoaderNot9c = "Error!!! JMP MS ISP reponse status  != 0x9c !!!";
constexpr const char* kInLoader = "SUCCESS! MS ISP STATUS:";
constexpr const char* kInLoaderDone = " [F/W jump into MS ISP now]";
// Also in program mode: the loader does not answer discovery.
constexpr const char* kLoaderNotReady =
    "ERROR: Device Not Support Verify Cammand!! \n"
    "  P/S: Device must remove from PC, then connect again.";
constexpr const char* kLoaderRevision = "MS 4K_ISPCode  Revision :";
constexpr const char* kNoLoaderVersion = "Not Support Get Version.";
constexpr const char* kNoLoaderVersionVerify =
    "Not Support Get Version!!!\n"
    "Warning: Device must remove from PC, then connect again.";
constexpr const char* kRetry[] = {"", "Warning! Retry program the Firmware : 1st Time!!!",
                                  "Warning! Retry program the Firmware : 2st Time!!!"};
constexpr const char* kProgramTransferFailed =
    "Error!!! ISP TRANSFER DATA ERROR WHEN PROGRAMING CODE!!!";
constexpr const char* kVerifyTransferFailed =
    "Error!!! ISP TRANSFER DATA ERROR WHEN Verify CODE!!!";
constexpr const char* kTransferAnswer = "Error!!! DEBUG : MS ISP reponse status : ";
constexpr const char* kTransferNotA5 = "Error!!! JMP MS ISP reponse status  != 0xA5 !!!";
constexpr const char* kTransferred = "SUCCESS! ISP STATUS:";
constexpr const char* kWriteDone = " [Write Data sucessfull]";
constexpr const char* kVerifyDone = " [Verify Data sucessfull]";
constexpr const char* kTransferBox = "Error!!! MS ISP OR Verify Fail!!!";
constexpr const char* kMainJumpFailed = "Error!!! JMP MS 32K STATUS ERROR!!!";
constexpr const char* kMainStatusFailed = "Error!!! GET MS 32K STATUS ERROR!!!";
constexpr const char* kMainNot9c = "Error!!! JMP MS 32K reponse status  != 0x9c !!!";
constexpr const char* kInMain = "SUCCESS! MS STATUS:";
constexpr const char* kInMainDone = " [F/W jump into MS 32K now]";

// The loader takes at most 32 KB.
constexpr std::size_t kMaxMsImageLength = 0x8000;
constexpr std::uint32_t kJumpWait = 100;
constexpr int kAttempts = 3;
constexpr std::uint8_t kVerifyMode = 1;

// The bar runs from 0 to 10: 1 at the start, 3 in the loader, 2 for its
// revision, then 2 for each transfer and 2 for its status (and 2 more when
// that is wrong). A first-attempt success ends exactly at 10.
constexpr int kStepStart = 1;
constexpr int kStepInLoader = 3;
constexpr int kStepLoaderRevision = 2;
constexpr int kStepTransfer = 2;

}  // namespace

void UpdateMsController(FirmwareContext& ctx, int mode) {
    const bool verify = mode == kVerifyMode;
    AppState& app = ctx.app;
    FlowReport report(ctx.view, app.statusText, ctx.firmware);
    const OperatorMessages& messages = report.messages();
    const std::string romCodeFile = FieldText(ctx.updateData.msRomCodeFile);

    StartBanner(messages, verify ? kVerifyTitle : kProgramTitle);
    RomCodeLines(messages, romCodeFile, app.driverFileName);
    report.TakeCopy();
    report.OpenWindow(0, 10);
    report.Caption(verify ? kVerifyCaption : kProgramCaption);
    report.ShowText(report.copy());
    report.Advance(kStepStart);

    auto closeDriver = [&] { ClosePortDriver(ctx.platform, ctx.transports); };
    // Every failure hides the window and closes the port driver (unless the
    // switch or discovery has closed it already) before its box.
    auto fail = [&](const std::string& box, const std::string& line) {
        report.Hide();
        closeDriver();
        messages.Box(box);
        messages.Line(line);
    };
    auto failWith = [&](const std::string& text) { fail(text, text); };

    FirmwareImage& image = ctx.firmware.firmwareImage;
    const RomCodeRead read =
        ReadRomCodeFile(ctx.platform, romCodeFile.c_str(), kMaxMsImageLength, image);
    if (!read.loaded()) {
        const RomCodeMessage message = RomCodeReadMessage(read, romCodeFile);
        if (read.outcome != RomCodeRead::Outcome::NoData) return fail(message.box, message.line);
        // A file without data is told with the driver still open.
        report.Hide();
        messages.Box(message.box);
        closeDriver();
        return messages.Line(message.line);
    }

    // Every request goes to device 0: discovery leaves selectedDevice there,
    // and each switch selects it again.
    PortDriver65 driver(ctx.platform, ctx.transports, app.selectedDevice);
    const MsRevisionBytes& revisionBytes = ctx.devices.firstDeviceMsRevision;
    if (RescanDevices(ctx.access()) != 0) return failWith(kNotReady);
    const std::string mainRevision = MsRevisionText(revisionBytes);
    report.Append((verify ? kMainRevision : kMainRevisionBefore) + mainRevision);
    report.PublishToStatusText();
    // An old main firmware's loader cannot compare, and the companion is not
    // switched back from it.
    bool oldMsFirmware = IsOldMsMainFirmware(mainRevision);
    if (oldMsFirmware && verify) return failWith(kNoVerify);

    if (!MsJump(ctx)) return failWith(kJumpFailed);
    ctx.platform.Sleep(kJumpWait);
    std::uint8_t status = 0;
    if (!driver.GetIspStatus(status)) return failWith(kStatusFailed);
    if (status != IspStatusJumpOk)
        return failWith(kJumpAnswer + StatusText(status) + "\n" + kLoaderNot9c);
    report.Report(kInLoader + StatusText(status) + kInLoaderDone);
    report.Advance(kStepInLoader);

    if (RescanDevices(ctx.access()) != 0) return failWith(kLoaderNotReady);
    std::string loaderRevision = MsRevisionText(revisionBytes);
    // A loader that does not tell its version is an old one too.
    if (loaderRevision.rfind("ver", 0) != 0) {
        oldMsFirmware = true;
        loaderRevision = verify ? kNoLoaderVersionVerify : kNoLoaderVersion;
    }
    report.Report(kLoaderRevision + loaderRevision);
    report.Advance(kStepLoaderRevision);

    const char* transferFailed = verify ? kVerifyTransferFailed : kProgramTransferFailed;
    const std::uint8_t transferMode = verify ? kVerifyMode : 0;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (attempt > 0) report.Report(kRetry[attempt]);
        if (!driver.IspTransfer(image.bytes.data(), image.length, transferMode))
            return failWith(transferFailed);
        report.Advance(kStepTransfer);
        if (!driver.GetIspStatus(status)) return failWith(transferFailed);
        report.Advance(kStepTransfer);
        // The loader answers 0xA5 in both modes.
        if (status == IspStatusWriteOk) break;
        report.Append(kTransferAnswer + StatusText(status) + "\n" + kTransferNotA5);
        report.Advance(kStepTransfer);
        if (oldMsFirmware) break;
    }
    if (status == IspStatusWriteOk) {
        report.Append(kTransferred + StatusText(status) + (verify ? kVerifyDone : kWriteDone));
    } else {
        // The failure stays in the account as a line as well: the switch back
        // adds its success below it, and a box alone would leave the account
        // reading as a successful update.
        messages.Box(kTransferBox);
        report.Append(kTransferBox);
    }
    report.Publish();

    // An old companion stays in its loader until the reader is replugged.
    if (oldMsFirmware) {
        closeDriver();
        report.Hide();
        return;
    }
    // Back into the main firmware, also after a failed transfer; the status is
    // read at once.
    if (!MsJump(ctx)) return fail(kJumpFailed, kMainJumpFailed);
    if (!driver.GetIspStatus(status)) return fail(kStatusFailed, kMainStatusFailed);
    if (status != IspStatusJumpOk)
        return failWith(kJumpAnswer + StatusText(status) + "\n" + kMainNot9c);
    report.Report(kInMain + StatusText(status) + kInMainDone);
    closeDriver();
    report.Hide();
}

}  // namespace usbisp
