#include "ui/main_dialog.h"

#include <cstdio>
#include <cstring>

#include "access/access_path.h"
#include "discovery/identity.h"
#include "platform/printf_text.h"
#include "ui/device_report.h"

namespace usbisp {

namespace {

// The main window's own texts, kept letter for letter ("Oor", "more then one", "Unknow", the ISP_E
// numbers as they stand, two ISP_E8): operators and their scripts know them, so they are never
// corrected.
constexpr const char* kUnsupportedPlatform =
    "This program must run under win9x or WinMe or Win2K or WinXP";
constexpr const char* kE1 = "ISP_E1: ISP must run under win98 or WinMe or Win2K or WinXP";
constexpr const char* kE2 = "ISP_E2: Before ISP, Please select the [ISP_ena] first!!!";
constexpr const char* kE3Load = "ISP_E3: Can't Load the Driver : ";
constexpr const char* kE4Load = "ISP_E4: Can't Load the Driver : ";
constexpr const char* kE5 =
    "ISP_E5: ISP must run under win98 or WinMe or WIN2K with DRIVER Install.";
constexpr const char* kE6Load = "ISP_E6: Can't Load the Driver : ";
constexpr const char* kE7 =
    "ISP_E7: ISP must run under win98 or WinMe or WIN2K with DRIVER Install.";
constexpr const char* kE8NotKnown =
    "ISP_E8: ISP must run under win98 or WinMe or WIN2K with DRIVER Install.";
constexpr const char* kE8MoreThanOne =
    "ISP_E8: There are more then one USB device were detected!!!\n"
    "        ISP can't process normally!!! ";
constexpr const char* kE9 = "ISP_E9: ISP must run under win98 or WinMe with DRIVER Install.";
constexpr const char* kNoDevice = "Error: Unknow error happen!!!";
constexpr const char* kVerifyPlatform =
    "Verify must run under win98 or WinMe or Win2K Oor WinXP with self-driver";
constexpr const char* kVerifyNotEnabled =
    "Before Verify Firmware, Please select the [ISP_ena] first!!!";
constexpr const char* kVerifyLoad = "Can't Load the Driver : ";
constexpr const char* kDeviceSelRefused = "AP must run under win98 or WinMe with self-driver";
constexpr const char* kGetInfoLoadBox = "Error!!! Device not ready Or Error Driver select";
// Said once in the report when Windows refused to open a drive to this user.
constexpr const char* kAdministratorNeeded =
    "\nERROR: Access denied when open the drive!!\n"
    "  P/S: Please login as Administrator (Win2K/WinXP).";
constexpr const char* kMessageDialog = "Message Dialog";

constexpr const char* kDriverSelect = "Driver Select";
constexpr const char* kInqProductName = "Inq.ProductName";
constexpr const char* kZiziradaZav = "ZIZIRADA.ZAV";
constexpr const char* kTavdrvSys = "TAVDRV.SYS";

// The load text of a failed programming load step, by platform.
const char* ProgramLoadText(int osKind) {
    switch (osKind) {
        case OsWin9x:
            return kE3Load;
        case OsWinMe:
            return kE4Load;
        default:
            return kE6Load;
    }
}

// The unknown-controller refusal of a platform without the maker's driver;
// nullptr where there is none (Windows 95/98 always has its port driver).
const char* UnknownControllerText(int osKind) {
    switch (osKind) {
        case OsWinMe:
            return kE5;
        case OsWin2000:
            return kE7;
        case OsWinXP:
            return kE8NotKnown;
        default:
            return nullptr;
    }
}

}  // namespace

bool MainDialog::OnInitDialog() {
    AppState& app = core_.app;
    app.osKind = DetectOsKind(core_.platform);
    if (!IsSupported(app.osKind)) {
        core_.view.MessageBox(kUnsupportedPlatform, kProgramName, BoxIcon::None);
        core_.view.EndDialog(false);
        ended_ = true;
        return false;
    }
    // The update data is read and summarised before anything is reset or any
    // device is touched.
    OnUserIspInfo();
    app.ResetAtStart();
    core_.devices.deviceCount = 0;
    FillDriverList(ctl::kDriverList);
    OnGetInfo();
    return true;
}

void MainDialog::FillDriverList(int controlId) {
    AppState& app = core_.app;
    // The driver files of the path: the three port drivers of Windows 95/98
    // and ME (whichever of them is chosen), the kernel driver of Windows 2000.
    const AccessPathId path = AccessPathFor(app);
    if (IsPortDriver(path)) {
        app.driverFileName = kZiziradaZav;
        core_.view.SetControlText(ctl::kDriverLabel, kDriverSelect);
        core_.view.ListAdd(controlId, "ZQ_URDR.PDR");
        core_.view.ListAdd(controlId, kZiziradaZav);
        core_.view.ListAdd(controlId, "RE20RERI.VAR");
        // The list sorts its entries: index 1 is "ZIZIRADA.ZAV".
        core_.view.ListSelect(controlId, 1);
    } else if (path == AccessPathId::KernelDriver) {
        app.driverFileName = kTavdrvSys;
        core_.view.SetControlText(ctl::kDriverLabel, kDriverSelect);
        core_.view.ListAdd(controlId, kTavdrvSys);
        core_.view.ListSelect(controlId, 0);
    } else {
        core_.view.SetControlText(ctl::kDriverLabel, kInqProductName);
        core_.view.ListSelect(controlId, 0);
    }
}

void MainDialog::OnGetInfo() {
    AppState& app = core_.app;
    DeviceTable& devices = core_.devices;
    devices.PresetIdentityBlock();
    devices.ClearSlots();
    devices.deviceCount = 0;
    app.selectedDriveCount = 0;
    app.selectedDevice = 0;
    app.discoveryStatus = 0;
    app.statusText.clear();
    std::string message;

    bool opened = true;
    if (UsesMakersDriver(AccessPathFor(app))) {
        // The driver chosen decides between the two port-driver paths.
        app.diskDriverSelected = std::strncmp(app.driverFileName.c_str(), "RE20RERI.VAR", 12) == 0;
        app.discoveryStatus = OpenAccessPath(core_.access());
        if (app.discoveryStatus != 0) {
            message = "\nError: Can't Load the Driver " + app.driverFileName +
                      "\n  P/S: Device Not Ready Or Error Driver select.";
            core_.view.MessageBox(kGetInfoLoadBox, kMessageDialog, BoxIcon::Stop);
            opened = false;
        }
    }
    if (opened) {
        app.discoveryStatus = DiscoverDevices(core_.access());
        MakeAccessPath(core_.access())->AfterDiscovery(app.discoveryStatus);
        if (app.discoveryStatus == 1 || app.discoveryStatus == 2) {
            message =
                "\nERROR: Device Not Ready when GET DEVICE VERSION!! \n"
                "  P/S: After ISP/Verify Device must plug-out first!";
        } else {
            core_.view.ListReset(ctl::kDeviceList);
            for (int i = 0; i < devices.deviceCount; ++i)
                core_.view.ListAdd(ctl::kDeviceList, std::string(1, static_cast<char>('1' + i)));
            core_.view.ListSelect(ctl::kDeviceList, app.selectedDevice);
        }
        if (devices.driveAccessDenied) message += kAdministratorNeeded;
    }
    app.statusText = message;
    ShowDeviceReport(core_.view, app, devices);
}

void MainDialog::OnDriverSelChange() {
    AppState& app = core_.app;
    std::string text = core_.view.ListSelectedText(ctl::kDriverList).substr(0, 19);
    if (UsesMakersDriver(AccessPathFor(app)))
        app.driverFileName = text.substr(0, kDriverFileNameMax);
    OnGetInfo();
}

void MainDialog::OnSelfDriverSel() {
    core_.app.selfDriverMode ^= 1;
    core_.view.ListReset(ctl::kDriverList);
    FillDriverList(ctl::kDriverList);
    core_.app.statusText.clear();
    ShowDeviceReport(core_.view, core_.app, core_.devices);
}

void MainDialog::OnIspEna() {
    core_.app.ispEnabled ^= 1;
}

void MainDialog::OnIspMsFw() {
    core_.app.msFirmwareMode ^= 1;
}

void MainDialog::OnDeviceSelChange() {
    AppState& app = core_.app;
    if (app.osKind != OsWin9x && app.osKind != OsWinMe && app.osKind != OsWin2000) {
        Refuse(kDeviceSelRefused);
        return;
    }
    const int count = core_.devices.deviceCount;
    if (count < 2) {
        app.selectedDevice = 0;
    } else {
        // The entries are "1", "2", ... ":" for devices 0 to 9.
        const std::string text = core_.view.ListSelectedText(ctl::kDeviceList);
        const int index = text.empty() ? -1 : text[0] - '1';
        if (index >= 0 && index < count) app.selectedDevice = index;
    }
    ShowDeviceReport(core_.view, app, core_.devices);
}

void MainDialog::Refuse(const char* text) {
    core_.view.MessageBox(text, kProgramName, BoxIcon::None);
}

bool MainDialog::LoadDriver(const char* loadText) {
    core_.app.discoveryStatus = OpenAccessPath(core_.access());
    if (core_.app.discoveryStatus == 0) return true;
    core_.app.statusText = std::string("\n") + loadText + core_.app.driverFileName;
    return false;
}

bool MainDialog::IsKnownController() const {
    static constexpr const char* kKnown[] = {"7620", "7650", "7340", "7344", "7310",
                                             "7410", "7440", "7460", "7311", "7353"};
    const std::string& chip = core_.app.chipCode;
    for (const char* model : kKnown)
        if (chip.compare(0, 4, model) == 0) return true;
    return false;
}

void MainDialog::AppendCounters() {
    AppState& app = core_.app;
    app.statusText += "\n\nSuccess Number Of ISP: " + Printf("%x", app.ispSuccessCount);
    app.statusText += "\nError   Number Of ISP: " + Printf("%x", app.ispErrorCount);
    app.statusText += "\nTotal   Number Of ISP: " + Printf("%x", app.ispTotalCount);
    core_.view.SetControlText(ctl::kReport, app.statusText);
}

void MainDialog::OnWin9xIsp() {
    AppState& app = core_.app;
    if (!IsSupported(app.osKind)) return Refuse(kE1);
    if (app.ispEnabled == 0) return Refuse(kE2);

    app.chipCode = ChipCodeText(core_.devices.Selected(app.selectedDevice).hardwareRevision);
    if (app.osKind == OsWinMe) app.discoveryStatus = 0;

    const AccessPathId path = AccessPathFor(app);
    const bool ms = app.msFirmwareMode == 1;
    // The Memory Stick controller is reached through a port driver only; on
    // Windows ME the controller check comes first.
    const bool msRefused = ms && !IsPortDriver(path);
    if (msRefused && app.osKind != OsWinMe) return Refuse(kE9);
    if (app.selfDriverMode == 0 && !IsKnownController()) {
        if (const char* text = UnknownControllerText(app.osKind)) return Refuse(text);
    }
    if (msRefused) return Refuse(kE9);

    if (UsesMakersDriver(path) && !LoadDriver(ProgramLoadText(app.osKind))) {
        // On Windows 2000 the failure is shown at once, without the counters.
        if (app.osKind == OsWin2000) return core_.view.SetControlText(ctl::kReport, app.statusText);
        return AppendCounters();
    }
    if (app.osKind == OsWin2000) {
        // Windows 2000 programs only when exactly one device is attached.
        app.discoveryStatus = DiscoverDevices(core_.access());
        if (core_.devices.deviceCount == 0)
            return core_.view.MessageBox(kNoDevice, kProgramName, BoxIcon::None);
        if (core_.devices.deviceCount > 1)
            return core_.view.MessageBox(kE8MoreThanOne, kProgramName, BoxIcon::Information);
    }
    FirmwareContext firmware = core_.firmwareContext();
    if (ms) {
        UpdateMsController(firmware, 0);
    } else {
        ProgramFirmware(firmware);
    }
    AppendCounters();
}

void MainDialog::OnWin9xVer() {
    AppState& app = core_.app;
    if (!IsSupported(app.osKind)) return Refuse(kVerifyPlatform);
    if (app.ispEnabled == 0) return Refuse(kVerifyNotEnabled);
    if (app.osKind == OsWinMe) app.discoveryStatus = 0;

    const AccessPathId path = AccessPathFor(app);
    const bool ms = app.msFirmwareMode == 1;
    if (ms && !IsPortDriver(path)) return Refuse(kE9);

    if (!UsesMakersDriver(path) || LoadDriver(kVerifyLoad)) {
        FirmwareContext firmware = core_.firmwareContext();
        if (ms) {
            UpdateMsController(firmware, 1);
        } else {
            VerifyFirmware(firmware);
        }
    }
    core_.view.SetControlText(ctl::kReport, app.statusText);
}

void MainDialog::OnUserIspInfo() {
    LoadUpdateData(core_.platform, core_.view, core_.app, core_.updateData, core_.keyReader);
}

void MainDialog::OnCloseButton() {
    FirmwareContext firmware = core_.firmwareContext();
    CloseDevice(firmware);
    core_.view.EndDialog(true);
    ended_ = true;
}

bool MainDialog::OnButtonClicked(int controlId) {
    switch (controlId) {
        case ctl::kClose:
            OnCloseButton();
            return true;
        case ctl::kSelfDriverSel:
            OnSelfDriverSel();
            return true;
        case ctl::kGetInfo:
            OnGetInfo();
            return true;
        case ctl::kIspEna:
            OnIspEna();
            return true;
        case ctl::kWin9xIsp:
            OnWin9xIsp();
            return true;
        case ctl::kWin9xVer:
            OnWin9xVer();
            return true;
        case ctl::kUserIspInfo:
            OnUserIspInfo();
            return true;
        case ctl::kIspMsFw:
            OnIspMsFw();
            return true;
        default:
            return false;
    }
}

bool MainDialog::OnSelectionChanged(int controlId) {
    switch (controlId) {
        case ctl::kDriverList:
            OnDriverSelChange();
            return true;
        case ctl::kDeviceList:
            OnDeviceSelChange();
            return true;
        default:
            return false;
    }
}

void MainDialog::OnCancel() {
    core_.view.EndDialog(false);
    ended_ = true;
}

}  // namespace usbisp
