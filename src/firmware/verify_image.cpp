#include "device/command_set.h"
#include "firmware/flow_report.h"
#include "firmware/sequences.h"

namespace usbisp {

namespace {

// The verification run's own texts, kept letter for letter ("sucessfull", "Reponse", "Uncorrect",
// "2st"): operators and their scripts know them, so they are never corrected.
constexpr const char* kCaption = "Verify status : ";
constexpr const char* kSuccess = "SUCCESS! Verify STATUS:";
constexpr const char* kJumpDone = " [Start Verify Firmware now]";
constexpr const char* kVerifyDone = " [Verify Data sucessfull]";
constexpr const char* kRetry[] = {"", "Warning! Retry Verify the Firmware : 1st Time!!!",
                                  "Warning! Retry Verify the Firmware : 2st Time!!!"};
constexpr const char* kJumpFailedBox = "Error!!! JMP ISP STATUS ERROR!!!";
constexpr const char* kJumpFailedLine = "Error!!! JMP Verify STATUS ERROR!!!";
constexpr const char* kStatusFailedBox = "Error!!! GET ISP STATUS ERROR!!!";
constexpr const char* kStatusFailedLine = "Error!!! GET Verify STATUS ERROR!!!";
constexpr const char* kJumpAnswer = "Error!!! DEBUG : JMP Verify reponse status : ";
constexpr const char* kJumpNot9c = "Error!!! JMP ISP reponse status  != 0x9c !!!";
constexpr const char* kVerifyFailed = "ERROR!!! ISP VERIFY Transfer Data Error!!!";
constexpr const char* kVerifyStatusFailed =
    "ERROR!!! GET Verify STATUS ERROR WHEN SEND DATA VERIFY!!!";
constexpr const char* kMismatch = "Error!!! Uncorrect Firmware version, Verify Fail !!!";
constexpr const char* kUnknownBox =
    "Error!!! Verify Reponse status  != 0x5A or 0x33 !!!, Unknow Error Happen!!!";
constexpr const char* kUnknownLine =
    "Error! Verify Reponse status != 0x5A or 0x33 !, Unknow Error Happen!!!";
constexpr std::uint32_t kJumpWait = 100;
constexpr int kAttempts = 3;
// Every path moves the bar the same way here: start, ISP entry, success.
constexpr int kStep = 5;

}  // namespace

void VerifyImage(FirmwareContext& ctx, IspPath& path, std::uint32_t imageLength) {
    FlowReport report(ctx.view, ctx.app.statusText, ctx.firmware);
    if (RefuseUncarriedLength(report.messages(), path, imageLength)) return;
    const OpenedPath opened(path, report.messages());
    if (!opened.open()) return;

    report.TakeCopy();
    report.OpenWindow(0, 15);
    report.Caption(kCaption);
    report.ShowText(report.copy());
    report.Advance(kStep);

    // The path closes after the failure's box and line.
    auto fail = [&](const std::string& box, const std::string& line) { report.Fail(box, line); };
    std::uint8_t status = 0;
    if (!path.Jump()) return fail(kJumpFailedBox, kJumpFailedLine);
    ctx.platform.Sleep(kJumpWait);
    if (!path.ReadStatus(status)) return fail(kStatusFailedBox, kStatusFailedLine);
    if (status != IspStatusJumpOk) {
        const std::string message = kJumpAnswer + StatusText(status) + "\n" + kJumpNot9c;
        return fail(message, message);
    }
    report.Report(kSuccess + StatusText(status) + kJumpDone);
    report.Advance(kStep);

    const FirmwareImage& image = ctx.firmware.firmwareImage;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (attempt > 0) report.Report(kRetry[attempt]);
        if (!path.Transfer(image.bytes, imageLength, 1)) return fail(kVerifyFailed, kVerifyFailed);
        status = 0;
        if (!path.ReadStatus(status)) return fail(kVerifyStatusFailed, kVerifyStatusFailed);
        if (status == IspStatusVerifyOk) {
            report.Advance(kStep);
            report.Report(kSuccess + StatusText(status) + kVerifyDone);
            report.Hide();
            return;
        }
    }
    report.Hide();
    if (status == IspStatusVerifyMismatch) {
        report.messages().BoxAndLine(kMismatch);
    } else {
        report.messages().Box(kUnknownBox);
        report.messages().Line(kUnknownLine);
    }
}

}  // namespace usbisp
