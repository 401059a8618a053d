#include "discovery/drive_letters.h"

#include <cstdio>

#include "platform/printf_text.h"
#include "platform/win_constants.h"

namespace usbisp {

namespace {

constexpr const char* kValueName = "CurrentDriveLetterAssignment";
constexpr std::uint32_t kLetterBufferSize = 5;

template <std::size_t N>
std::string Full(const std::array<char, N>& field) {
    std::string text(field.begin(), field.end());
    for (char& c : text)
        if (c == ' ') c = '_';
    return text;
}

// Trailing spaces dropped, every other space made "_".
template <std::size_t N>
std::string Trimmed(const std::array<char, N>& field) {
    std::string text(field.begin(), field.end());
    const auto last = text.find_last_not_of(' ');
    text.erase(last == std::string::npos ? 0 : last + 1);
    for (char& c : text)
        if (c == ' ') c = '_';
    return text;
}

std::string Identifiers(const DeviceInfo& d) {
    return Printf("VID_%02x%02x&PID_%02x%02x&", d.vendorId[0], d.vendorId[1], d.productId[0],
                  d.productId[1]);
}

std::string Serial(const DeviceInfo& d) {
    return std::string(d.usbSerial.begin(), d.usbSerial.end());
}

// The inquiry vendor, product and first revision character, as the first
// segment after "Enum\SCSI\" on code 66 and ASPI.
std::string InquirySegment(const DeviceInfo& d) {
    return Full(d.inqManufacturer) + Full(d.inqProduct) + Full(d.inqRevision).substr(0, 1);
}

}  // namespace

std::string DriveLetterKey(DriveLetterKeyForm form, const DeviceInfo& d, int unit) {
    const std::string digit(1, static_cast<char>('0' + unit));
    std::string key;
    switch (form) {
        case DriveLetterKeyForm::PortDriver65:
            key = "Enum\\SCSI\\________USB_DISK_DRIVER_0\\ZOZEREDI&DISK&0000USB&" + Identifiers(d) +
                  Serial(d) + "0" + digit;
            break;
        case DriveLetterKeyForm::PortDriver66:
            key = "Enum\\SCSI\\" + InquirySegment(d) + "\\RE20DADI&DISK&0000USB&" + Identifiers(d) +
                  Serial(d) + "0" + digit;
            break;
        case DriveLetterKeyForm::Aspi:
            key = "Enum\\SCSI\\" + InquirySegment(d) + "\\USBSTOR&DISK&VEN_" +
                  Trimmed(d.inqManufacturer) + "&PROD_" + Trimmed(d.inqProduct) + "&REV_" +
                  Trimmed(d.inqRevision) + "&" + Serial(d) + "&" + digit + "00";
            break;
    }
    // As a C string: a zero byte in a field ends the key.
    return std::string(key.c_str());
}

char ReadDriveLetter(Platform& platform, const std::string& key) {
    std::uint8_t letter[kLetterBufferSize] = {};
    RegKey handle = 0;
    platform.RegOpenKeyExA(kHkeyLocalMachine, key.c_str(), win::kKeyAllAccess, &handle);
    std::uint32_t size = kLetterBufferSize;
    platform.RegQueryValueExA(handle, kValueName, letter, &size);
    platform.RegCloseKey(handle);
    return static_cast<char>(letter[0]);
}

}  // namespace usbisp
