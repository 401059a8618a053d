// The record read from DEVICE.TXT: the identity data a programming run writes
// into the firmware image, the ROM code file names, and the two inquiry
// identities that discovery matches drives against.
#pragma once

#include <array>
#include <cstdint>

namespace usbisp {

struct UpdateData {
    std::uint32_t vid = 0;
    int vidActive = 0;
    std::uint32_t pid = 0;
    int pidActive = 0;
    // Text fields carry one zero byte more than the record lists, so that each
    // can be shown as a C string with its pad bytes.
    std::array<char, 26> stringManufacture{};  // positions 0..24 space-padded
    int stringManufactureLength = 0;
    std::array<char, 26> stringProduct{};
    int stringProductLength = 0;
    std::array<char, 14> strSerial{};  // positions 0..12 NUL-padded
    int strSerialActive = 0;
    std::array<char, 10> inquiryManufacture{};  // positions 0..8 space-padded
    int inquiryManufactureActive = 0;
    std::array<char, 18> inquiryProduct{};  // positions 0..16 space-padded
    int inquiryProductActive = 0;
    std::array<char, 5> inquiryVersion{};  // exactly 4 characters
    int inquiryVersionActive = 0;
    std::array<char, 14> romCodeFile{};
    std::array<char, 14> addressFile{};
    std::array<char, 14> msRomCodeFile{};
    std::array<char, 28> faInquiry{};  // vendor 8, product 16, revision 4
    std::array<char, 28> fbInquiry{};
    std::array<std::uint8_t, 26> deviceSetting{};
    int deviceSettingActive = 0;
};

}  // namespace usbisp
