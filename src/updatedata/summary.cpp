// The text of the update data summary box: the platform and file names first,
// then every identity item, "No Active" where its key was not taken.
#include <cstdio>
#include <cstring>

#include "app/os_kind.h"
#include "platform/printf_text.h"
#include "updatedata/update_data_file.h"

namespace usbisp {
namespace {

// The summary's own labels, kept letter for letter ("DEV_Setting" and "DEV_setting" both,
// "Str_Manufacture"): operators read the summary by them, so they are never corrected.
constexpr const char* kSeparator = "\n=====================================================";
constexpr const char* kSystemTitle = "\n==== SYSTEM Information For ISP";
constexpr const char* kUpdateTitle = "\n====Update String Or Inquiry Information For ISP ";
constexpr const char* kNoActive = "No Active";

// The device settings block, eight bytes a line.
struct SettingRow {
    const char* label;
    std::size_t first;
    std::size_t end;
};
constexpr std::array<SettingRow, 4> kSettingRows = {{{"         0 ~ 7 : ", 0, 8},
                                                     {"         8 ~ 15: ", 8, 16},
                                                     {"        16 ~ 23: ", 16, 24},
                                                     {"        24 ~ 25: ", 24, 26}}};

const char* SystemLine(int osKind) {
    switch (osKind) {
        case OsWin9x:
            return "OS            : Windows 98";
        case OsWinMe:
            return "OS            : Windows ME";
        case OsWin2000:
            return "OS            : Windows 2K";
        case OsWinXP:
            return "OS            : Windows XP";
        default:
            return "OS            : Unknown";
    }
}

// A text field as a C string: up to its first zero byte, pad bytes included.
template <std::size_t N>
std::string FieldText(const std::array<char, N>& field) {
    return std::string(field.data(), strnlen(field.data(), N));
}

void AddLine(std::string& text, const std::string& line) {
    text += '\n';
    text += line;
}

void AddItem(std::string& text, const char* label, bool active, const std::string& value) {
    AddLine(text, std::string(label) + (active ? value : kNoActive));
}

void AddDeviceSetting(std::string& text, const UpdateData& data) {
    if (data.deviceSettingActive == 0) {
        AddLine(text, "DEV_Setting    : No Active");
        return;
    }
    AddLine(text, "DEV_setting    : ");
    for (const SettingRow& row : kSettingRows) {
        std::string line = row.label;
        for (std::size_t i = row.first; i < row.end; ++i) {
            line += Printf("0x%02x ", data.deviceSetting[i]);
        }
        AddLine(text, line);
    }
}

}  // namespace

std::string BuildUpdateDataSummary(const UpdateData& data, int osKind, int selfDriverMode,
                                   const std::string& driverFileName) {
    std::string text = kSeparator;
    text += kSystemTitle;
    text += kSeparator;
    AddLine(text, SystemLine(osKind));
    if (osKind == OsWin9x || selfDriverMode == 1) {
        AddLine(text, "Device Driver : " + driverFileName);
    }
    AddLine(text, "ISP USB ROMCODE: " + FieldText(data.romCodeFile));
    AddLine(text, "ISP ADDRESS    : " + FieldText(data.addressFile));
    AddLine(text, "ISP DE3001 ROM : " + FieldText(data.msRomCodeFile));

    text += kSeparator;
    text += kUpdateTitle;
    text += kSeparator;
    AddItem(text, "VID            : ", data.vidActive != 0, Printf("0x%04x ", data.vid));
    AddItem(text, "PID            : ", data.pidActive != 0, Printf("0x%04x ", data.pid));
    AddItem(text, "Str_Manufacture: ", data.stringManufactureLength != 0,
            FieldText(data.stringManufacture));
    AddItem(text, "Str_Product    : ", data.stringProductLength != 0,
            FieldText(data.stringProduct));
    AddItem(text, "Str_Serial     : ", data.strSerialActive != 0, FieldText(data.strSerial));
    AddItem(text, "Inq_Manufacture: ", data.inquiryManufactureActive != 0,
            FieldText(data.inquiryManufacture));
    AddItem(text, "Inq_Product    : ", data.inquiryProductActive != 0,
            FieldText(data.inquiryProduct));
    AddItem(text, "Inq_Version    : ", data.inquiryVersionActive != 0,
            FieldText(data.inquiryVersion));
    AddDeviceSetting(text, data);
    text += kSeparator;
    return text;
}

}  // namespace usbisp
