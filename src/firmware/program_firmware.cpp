#include <cstdio>
#include <initializer_list>
#include <string_view>

#include "firmware/banner.h"
#include "firmware/firmware.h"
#include "firmware/image_checks.h"
#include "firmware/image_file.h"
#include "firmware/image_patch.h"
#include "firmware/sequences.h"
#include "firmware/serial_file.h"
#include "firmware/serial_number.h"
#include "firmware/serial_source.h"
#include "platform/printf_text.h"

namespace usbisp {

namespace {

// The programming flow's own texts, kept letter for letter with their trailing spaces: operators
// and their scripts know them, so they are never corrected.
constexpr const char* kProgramTitle = "==  Internal System Program Ver1.60             ";

bool ModelIs(std::string_view chipCode, std::initializer_list<std::string_view> models) {
    for (std::string_view model : models)
        if (chipCode.substr(0, 4) == model) return true;
    return false;
}

std::string CounterLine(const SerialCounter& c) {
    return Printf("==  CEM= 0x%02x || PC= 0x%02x || CNT= 0x%04x", c.CEM, c.PC, c.CNT);
}

std::string YearTooSmall(unsigned year) {
    return Printf("Error!!! Year too small, %04u", year);
}

// The serial number as the log shows it: the user serial when one is given,
// up to its first NUL.
std::string ShownSerial(const UpdateData& data, const SerialNumber& serial) {
    if (data.strSerialActive) {
        const std::string_view cells(data.strSerial.data(), kSerialLength);
        return std::string(cells.substr(0, cells.find('\0')));
    }
    return std::string(serial.begin(), serial.end());
}

}  // namespace

void ProgramFirmware(FirmwareContext& ctx) {
    const ClosesAccessPathOnReturn closes(ctx);
    AppState& app = ctx.app;
    const UpdateData& data = ctx.updateData;
    FirmwareState& firmware = ctx.firmware;
    FirmwareImage& image = firmware.firmwareImage;
    const OperatorMessages messages{ctx.view, app.statusText};
    StartBanner(messages, kProgramTitle);

    // These controllers take only images that need no patching.
    const bool noAddressFile =
        ModelIs(app.chipCode, {"7340", "7344", "7310", "7410", "7440", "7460"});
    const bool noCounterFile = ModelIs(app.chipCode, {"7340", "7344"});
    AddressRecord record;
    const std::string addressFile = FieldText(data.addressFile);
    if (!noAddressFile && !LoadAddressRecord(ctx.platform, messages, addressFile.c_str(), record))
        return;
    const std::string romCodeFile = FieldText(data.romCodeFile);
    if (!LoadRomCodeFile(ctx.platform, messages, romCodeFile.c_str(), image)) return;
    SerialCounter& counter = firmware.serialCounter;
    SerialSource* source = firmware.serialSource;
    // From reading the counter to saving it this run is the directory's one
    // taker of numbers; a station's source holds the directory for its life.
    std::unique_ptr<FileLock> counterLock;
    if (!noCounterFile && !source) {
        counterLock =
            LockSerialCounter(ctx.platform, messages, std::string(kProgramName) + " main window");
        if (!counterLock) return;
    }
    if (!noCounterFile) {
        const bool userSerial = data.strSerialActive != 0;
        const bool taken = source ? source->Take(ctx.platform, messages, counter, userSerial)
                                  : TakeSerialCounter(ctx.platform, messages, counter,
                                                      firmware.serialUnsaved, userSerial);
        if (!taken) return;
    }

    messages.Line(CounterLine(counter));
    RomCodeLines(messages, romCodeFile, app.driverFileName);
    const LocalTime now = ctx.platform.GetLocalTime();
    if (now.year <= 2000) return messages.BoxAndLine(YearTooSmall(now.year));

    const std::uint8_t typeCode = image.bytes[0];
    const std::uint8_t layoutMarker = image.bytes[1];
    const ImageKind kind = ClassifyImage(typeCode, layoutMarker);
    const SerialNumber serial = BuildSerialNumber(counter, now);
    if (source && !noCounterFile) source->Built(serial, kind.mode != PatchMode::None);
    const SerialDescriptor descriptor = BuildSerialDescriptor(serial);
    messages.Line("SERIAL NUMBER: " + ShownSerial(data, serial));
    messages.Line(kRule);

    // Without an address record (the controllers above) every image that
    // needs patching is refused by the checks below, so nothing is written.
    if (kind.mode != PatchMode::None && !noAddressFile &&
        !ApplyPatch(PlanPatch(kind, record, data, descriptor), image)) {
        return messages.BoxAndLine("Error!!! " + addressFile +
                                   " points outside the ROM code file!!!");
    }
    const DeviceInfo& selected = ctx.devices.Selected(app.selectedDevice);
    if (const char* box =
            CheckCompatibility(typeCode, layoutMarker, selected.hardwareRevision, app.chipCode))
        return messages.Box(box);

    auto path = MakeAccessPath(ctx.access())->SequencePath();
    const int successes = app.ispSuccessCount;
    ProgramImage(ctx, *path, image.length);
    // A source has saved its number before the run.
    if (!source && app.ispSuccessCount == successes + 1 && !data.strSerialActive && !noCounterFile)
        AdvanceAndStoreSerialCounter(ctx.platform, ctx.view, counter, firmware.serialUnsaved);
}

}  // namespace usbisp
