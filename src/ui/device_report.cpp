#include "ui/device_report.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "access/access_table.h"
#include "discovery/identity.h"
#include "platform/printf_text.h"

namespace usbisp {

namespace {

// The device report's own labels, kept letter for letter with their spacing ("Manufacture",
// "RevisionOrg", the colon columns that do not line up): operators and their scripts read the
// report by them, so they are never corrected.
constexpr const char* kRule = "\n=====================================================";

template <std::size_t N>
void AppendChars(std::string& out, const std::array<char, N>& field) {
    // A zero byte yields nothing, wherever it stands in the field.
    for (char c : field)
        if (c != '\0') out += c;
}

std::string FirmwareText(const std::array<std::uint8_t, 8>& r) {
    return Printf("%x.%02x.%02x-200%x-%02d-%02d[OEM-%02x][CEM-%02x]", r[0], r[1], r[2], r[3], r[4],
                  r[5], r[6], r[7]);
}

bool ModelIs(const std::string& chipCode, const char* model) {
    return chipCode.compare(0, 4, model) == 0;
}

// Controllers whose USB 2.0 firmware revision means nothing.
bool Usb20NotApplicable(const DeviceInfo& d, const std::string& chipCode) {
    if (d.hardwareRevision[0] == 0x76 && d.hardwareRevision[1] == 0x80) return true;
    static constexpr const char* kModels[] = {"7340", "7344", "7310", "7410",
                                              "7440", "7460", "7311", "7353"};
    for (const char* model : kModels)
        if (ModelIs(chipCode, model)) return true;
    return false;
}

}  // namespace

DeviceReport BuildDeviceReport(AppState& app, const DeviceTable& devices) {
    const DeviceInfo& d = devices.Selected(app.selectedDevice);
    app.chipCode = ChipCodeText(d.hardwareRevision);

    std::string r = app.statusText;
    r += kRule;
    r += "\n====  Device String And Inquiry Information     =====";
    r += kRule;
    r += "\n Str Manufacture Name :";
    AppendChars(r, d.usbManufacturer);
    r += "\n Str Product Name     :";
    AppendChars(r, d.usbProduct);
    r += "\n Str Serial Number    :";
    for (char c : d.usbSerial)
        if (c != '\0') r += Printf("%c ", c);
    r += "\n Device VID-PID       :";
    r += Printf("[%02x%02x]-[%02x%02x]", d.vendorId[0], d.vendorId[1], d.productId[0],
                d.productId[1]);
    r += "\n Inq Manufacture Name :";
    AppendChars(r, d.inqManufacturer);
    r += "\n Inq Product Name     :";
    AppendChars(r, d.inqProduct);
    r += "\n Inq Revision         :";
    AppendChars(r, d.inqRevision);
    r += "\n USB F/W Revision :" + FirmwareText(d.firmwareRevision);
    const auto& org = d.firmwareRevisionOrg;
    r += Printf("\n USB F/W RevisionOrg  :%x.%02x-200%x-%02d-%02d", org[0], org[1], org[2] >> 4,
                org[2] & 0x0F, org[3]);
    // The companion controller's revision is decoded for chip 7620 only, so
    // that is the chip whose revision the line presents.
    if (d.hardwareRevision[0] == 0x76 && d.hardwareRevision[1] == 0x20) {
        const auto& ms = d.msFirmwareRevision;
        r += "\n MS F/W Revision      :";
        for (char c : ms) {
            if (c == '\0') break;
            r += c;
        }
    } else {
        r += "\n MS F/W Revision      :N/A";
    }
    r += Printf("\n USB H/W Revision     :%02x%02x", d.hardwareRevision[0], d.hardwareRevision[1]);
    if (d.hardwareRevision[2] != 0) r += static_cast<char>(d.hardwareRevision[2]);
    r += "\n USB20 F/W Revision   :";
    r += Usb20NotApplicable(d, app.chipCode) ? std::string("N/A")
                                             : FirmwareText(d.usb20FirmwareRevision);
    r += kRule;
    r += "\n";
    r += Printf("\n Total Device Plug In : %x ", devices.deviceCount);
    app.selectedDriveCount = d.driveCount;
    r += Printf("\n The Device Select Now is : %x with %x slot.", app.selectedDevice + 1,
                d.driveCount);
    // Only on the ASPI path, where a device is found by its adapter and target.
    if (AccessPathFor(app) == AccessPathId::Aspi)
        r += Printf("\n Locate [Adapter:Target] : [%x:%x]", d.aspiAdapter, d.aspiTarget);

    std::string name;
    AppendChars(name, d.inqProduct);
    const int letters = std::min<int>(app.selectedDriveCount, static_cast<int>(kMaxDriveLetters));
    for (int i = 0; i < letters; ++i)
        name += Printf("[%c:] ", d.driveLetters[static_cast<std::size_t>(i)]);
    return {r, name};
}

void ShowDeviceReport(MainView& view, AppState& app, const DeviceTable& devices) {
    DeviceReport report = BuildDeviceReport(app, devices);
    view.SetControlText(ctl::kReport, report.report);
    view.SetControlText(ctl::kDeviceName, report.name);
}

}  // namespace usbisp
