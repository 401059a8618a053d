#include <cstdio>

#include "device/command_set.h"
#include "firmware/flow_report.h"
#include "firmware/sequences.h"
#include "platform/printf_text.h"

namespace usbisp {

namespace {

// The programming run's own texts, kept letter for letter with their spelling and spacing
// ("sucessfull", "reponse", "2st", the two spaces before "!="): operators and their scripts know
// them, so they are never corrected.
constexpr const char* kCaption = "    ISP status : ";
constexpr const char* kSuccess = "SUCCESS! ISP STATUS:";
constexpr const char* kJumpDone = " [Firmware jump into ISP now]";
constexpr const char* kWriteDone = " [Write Data sucessfull]";
constexpr const char* kVerifyDone = " [Verify Data sucessfull]";
constexpr const char* kRetry[] = {"", "Warning! Retry program the Firmware : 1st Time!!!",
                                  "Warning! Retry program the Firmware : 2st Time!!!"};
constexpr const char* kJumpFailed = "Error!!! JMP ISP STATUS ERROR!!!";
constexpr const char* kStatusFailed = "Error!!! GET ISP STATUS ERROR!!!";
constexpr const char* kJumpAnswer = "Error!!! DEBUG : JMP ISP reponse status : ";
constexpr const char* kJumpNot9c = "Error!!! JMP ISP reponse status  != 0x9c !!!";
constexpr const char* kWriteFailed = "Error!!! ISP TRANSFER DATA ERROR WHEN PROGRAMING CODE!!!";
constexpr const char* kWriteStatusFailed = "Error!!! GET ISP STATUS ERROR WHEN PROGRAMING CODE!!!";
constexpr const char* kWriteNotA5 = "ERROR!!! JMP ISP reponse status  != 0xA5 !!!";
constexpr const char* kVerifyFailed = "ERROR!!! ISP VERIFY Transfer Data Error!!!";
constexpr const char* kVerifyStatusFailed =
    "ERROR!!! GET ISP STATUS ERROR WHEN SEND DATA VERIFY!!!";
constexpr const char* kMismatch = "Error!!! ISP Data Verify Error, Program Fail!!!";
constexpr const char* kUnknownBox =
    "Error!!! ISP reponse status  != 0x5A or 0x33 !!!, Unknow Error Happen!!!";
constexpr const char* kUnknownLine = "Error! ISP status != 0x5A or 0x33 !, Unknow Error Happen!!!";
constexpr std::uint32_t kJumpWait = 100;
constexpr int kAttempts = 3;

}  // namespace

std::string StatusText(std::uint8_t status) {
    return Printf("%x", status);
}

bool RefuseUncarriedLength(const OperatorMessages& messages, const IspPath& path,
                           std::uint32_t imageLength) {
    if (path.CarriesLength(imageLength)) return false;
    messages.BoxAndLine("Error!!! ROM code too large for this access path !!!, " +
                        std::to_string(imageLength) + " (65535 at most)");
    return true;
}

void ProgramImage(FirmwareContext& ctx, IspPath& path, std::uint32_t imageLength) {
    AppState& app = ctx.app;
    FlowReport report(ctx.view, app.statusText, ctx.firmware);
    const IspPathStyle& style = path.style();
    if (RefuseUncarriedLength(report.messages(), path, imageLength)) return;
    const OpenedPath opened(path, report.messages());
    if (!opened.open()) return;

    report.OpenWindow(0, 15);
    report.Caption(kCaption);
    if (style.showsStatusTextFirst) {
        report.TakeCopy();
        report.ShowText(report.copy());
    } else {
        report.ShowText("");
    }
    report.Advance(style.program.atStart);
    if (!style.showsStatusTextFirst) report.TakeCopy();

    // Any failure from here on hides the window, shows its box and adds its
    // line; the path closes after it.
    auto fail = [&](const std::string& text) { report.Fail(text); };
    std::uint8_t status = 0;
    if (!path.Jump()) return fail(kJumpFailed);
    ctx.platform.Sleep(kJumpWait);
    if (!path.ReadStatus(status)) return fail(kStatusFailed);
    if (status != IspStatusJumpOk) {
        return fail(kJumpAnswer + StatusText(status) + "\n" + kJumpNot9c);
    }
    report.Report(kSuccess + StatusText(status) + kJumpDone);
    report.Advance(style.program.afterIspEntry);
    ++app.ispTotalCount;

    // From here on every way out counts as a success or as an error.
    auto error = [&](const std::string& text) {
        ++app.ispErrorCount;
        fail(text);
    };
    const FirmwareImage& image = ctx.firmware.firmwareImage;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (attempt > 0) report.Report(kRetry[attempt]);
        if (!path.Transfer(image.bytes, imageLength, 0)) return error(kWriteFailed);
        report.Advance(style.program.afterWrite);
        if (!path.ReadStatus(status)) return error(kWriteStatusFailed);
        report.Advance(style.program.afterWriteStatus);
        // A write the controller did not take is not retried.
        if (status != IspStatusWriteOk) return error(kWriteNotA5);
        report.Advance(style.program.afterWriteCheck);
        report.Report(kSuccess + StatusText(status) + kWriteDone);
        if (style.waitBeforeVerify != 0) ctx.platform.Sleep(style.waitBeforeVerify);

        if (!path.Transfer(image.bytes, imageLength, 1)) return error(kVerifyFailed);
        report.Advance(style.program.afterVerify);
        status = 0;
        if (!path.ReadStatus(status)) return error(kVerifyStatusFailed);
        if (status == IspStatusVerifyOk) {
            report.Report(kSuccess + StatusText(status) + kVerifyDone);
            ++app.ispSuccessCount;
            report.Advance(style.program.atSuccess);
            report.Hide();
            return;
        }
    }
    report.Hide();
    ++app.ispErrorCount;
    if (status == IspStatusVerifyMismatch) {
        report.messages().BoxAndLine(kMismatch);
    } else {
        report.messages().Box(kUnknownBox);
        report.messages().Line(kUnknownLine);
    }
}

}  // namespace usbisp
