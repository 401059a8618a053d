// Reading DEVICE.TXT into UpdateData, key by key in a fixed order, and showing
// what was read. A key that is missing or refused leaves its flag clear and its
// bytes as they were, except the file names (cleared every load) and the two
// inquiry identities (refilled with spaces every load).
#include <algorithm>
#include <optional>
#include <span>
#include <string_view>

#include "updatedata/update_data_file.h"

namespace usbisp {
namespace {

// The identity file's own messages, kept letter for letter.
constexpr const char* kOpenErrorText = "Error: Cannot open [DEVICE.TXT]";
constexpr const char* kOpenErrorCaption = "Message Dialog";
constexpr const char* kSummaryCaption = "User ISP Update Data Dialog";

constexpr int kCannotOpen = 1;

// Vendor identifiers an operator may not stamp into a device; while `vid`
// holds one of them, neither identifier is taken.
constexpr std::array<std::uint32_t, 3> kRefusedVendorIds = {0x0A51, 0x0B62, 0x0C73};

constexpr std::size_t kIdLength = 4;
constexpr int kUsbStringMax = 24;
constexpr int kSerialMax = 12;
constexpr int kInquiryVendorMax = 8;
constexpr int kInquiryProductMax = 16;
constexpr std::size_t kInquiryVersionLength = 4;
constexpr int kFileNameMax = 12;
constexpr int kDeviceSettingMax = 256;
// The address file keeps the ROM code file's base name (at most 8 characters
// and the dot) and takes the extension "adr".
constexpr std::size_t kAddressDotLimit = 10;
constexpr std::string_view kAddressExtension = "adr";

// Inquiry identity layout: vendor, product, revision.
constexpr std::size_t kIdentityVendorOffset = 0;
constexpr std::size_t kIdentityProductOffset = 8;
constexpr std::size_t kIdentityVersionOffset = 24;

struct IdentityKeys {
    const char* vendor;
    const char* product;
    const char* version;
};
constexpr IdentityKeys kFaKeys = {"FA_Inquiry_Manufacture", "FA_Inquiry_Product",
                                  "FA_Inquiry_Version"};
constexpr IdentityKeys kFbKeys = {"FB_Inquiry_Manufacture", "FB_Inquiry_Product",
                                  "FB_Inquiry_Version"};

using DeviceSettingBytes = decltype(UpdateData::deviceSetting);

// The value an accepted lookup left in the word buffer; empty when the key was
// not taken. Valid until the next lookup.
std::string_view AcceptedValue(const KeyReader& reader, int result) {
    if (reader.keyFound == 0 || result <= 3) return {};
    return {reader.word.data() + 1, static_cast<std::size_t>(result - 3)};
}

std::string_view Lookup(Platform& platform, KeyReader& reader, const char* key, int maxLength) {
    return AcceptedValue(reader, ReadKeyValue(platform, reader, key, maxLength));
}

// Writes a value into a field's positions and fills the rest with `pad`.
void PutValue(std::span<char> positions, std::string_view value, char pad) {
    const std::size_t n = std::min(value.size(), positions.size());
    std::copy_n(value.begin(), n, positions.begin());
    std::fill(positions.begin() + static_cast<std::ptrdiff_t>(n), positions.end(), pad);
}

// The positions of a text field: all but the zero byte that closes it.
template <std::size_t N>
std::span<char> Positions(std::array<char, N>& field) {
    return std::span<char>(field).first(N - 1);
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

std::uint32_t ParseId(std::string_view value) {
    return static_cast<std::uint32_t>(HexPairToByte(value[0], value[1])) << 8 |
           HexPairToByte(value[2], value[3]);
}

bool IsRefusedVendor(std::uint32_t vid) {
    return std::find(kRefusedVendorIds.begin(), kRefusedVendorIds.end(), vid) !=
           kRefusedVendorIds.end();
}

void ClearFlags(UpdateData& data) {
    data.vidActive = 0;
    data.pidActive = 0;
    data.stringManufactureLength = 0;
    data.stringProductLength = 0;
    data.strSerialActive = 0;
    data.inquiryManufactureActive = 0;
    data.inquiryProductActive = 0;
    data.inquiryVersionActive = 0;
    data.deviceSettingActive = 0;
}

// The PID test uses `vid` as last parsed, also from an earlier load and also
// when that VID was itself refused.
void ReadIdentifiers(Platform& platform, MainView& view, KeyReader& reader, UpdateData& data) {
    const int result = ReadKeyValue(platform, reader, "VID", kIdLength);
    if (result == kCannotOpen) {
        view.MessageBox(kOpenErrorText, kOpenErrorCaption, BoxIcon::Stop);
    }
    const std::string_view vid = AcceptedValue(reader, result);
    if (vid.size() == kIdLength) {
        data.vid = ParseId(vid);
        data.vidActive =
            std::all_of(vid.begin(), vid.end(), IsHexDigit) && !IsRefusedVendor(data.vid);
    }
    const std::string_view pid = Lookup(platform, reader, "PID", kIdLength);
    if (pid.size() == kIdLength) {
        data.pid = ParseId(pid);
        data.pidActive =
            std::all_of(pid.begin(), pid.end(), IsHexDigit) && !IsRefusedVendor(data.vid);
    }
}

// Reads one padded text field; the number of characters taken, 0 when none.
template <std::size_t N>
int ReadText(Platform& platform, KeyReader& reader, const char* key, int maxLength,
             std::array<char, N>& field, char pad) {
    const std::string_view value = Lookup(platform, reader, key, maxLength);
    if (value.empty()) return 0;
    PutValue(Positions(field), value, pad);
    return static_cast<int>(value.size());
}

void ReadTexts(Platform& platform, KeyReader& reader, UpdateData& data) {
    data.stringManufactureLength = ReadText(platform, reader, "String_Manufacture", kUsbStringMax,
                                            data.stringManufacture, ' ');
    data.stringProductLength =
        ReadText(platform, reader, "String_Product", kUsbStringMax, data.stringProduct, ' ');
    data.strSerialActive =
        ReadText(platform, reader, "QX~@$^_Str_Serial", kSerialMax, data.strSerial, '\0') > 0;
    data.inquiryManufactureActive = ReadText(platform, reader, "Inquiry_Manufacture",
                                             kInquiryVendorMax, data.inquiryManufacture, ' ') > 0;
    data.inquiryProductActive = ReadText(platform, reader, "Inquiry_Product", kInquiryProductMax,
                                         data.inquiryProduct, ' ') > 0;
    const std::string_view version =
        Lookup(platform, reader, "Inquiry_Version", kInquiryVersionLength);
    if (version.size() == kInquiryVersionLength) {
        PutValue(Positions(data.inquiryVersion), version, ' ');
        data.inquiryVersionActive = 1;
    }
}

void ReadFileNames(Platform& platform, KeyReader& reader, UpdateData& data) {
    data.romCodeFile.fill('\0');
    data.addressFile.fill('\0');
    const std::string_view romCode = Lookup(platform, reader, "ISP_ROMCODE", kFileNameMax);
    if (!romCode.empty()) {
        PutValue(Positions(data.romCodeFile), romCode, '\0');
        const std::size_t dot = romCode.find('.');
        if (dot != std::string_view::npos && dot > 0 && dot + 1 < kAddressDotLimit) {
            const auto base = romCode.substr(0, dot + 1);
            const auto end = std::copy(base.begin(), base.end(), data.addressFile.begin());
            std::copy(kAddressExtension.begin(), kAddressExtension.end(), end);
        }
    }

    data.msRomCodeFile.fill('\0');
    const std::string_view msRomCode = Lookup(platform, reader, "MS_ISP_ROMCODE", kFileNameMax);
    if (!msRomCode.empty()) PutValue(Positions(data.msRomCodeFile), msRomCode, '\0');
}

void ReadIdentity(Platform& platform, KeyReader& reader, const IdentityKeys& keys,
                  std::span<char> identity) {
    const std::string_view vendor = Lookup(platform, reader, keys.vendor, kInquiryVendorMax);
    if (!vendor.empty())
        PutValue(identity.subspan(kIdentityVendorOffset, kInquiryVendorMax), vendor, ' ');
    const std::string_view product = Lookup(platform, reader, keys.product, kInquiryProductMax);
    if (!product.empty())
        PutValue(identity.subspan(kIdentityProductOffset, kInquiryProductMax), product, ' ');
    const std::string_view version = Lookup(platform, reader, keys.version, kInquiryVersionLength);
    if (version.size() == kInquiryVersionLength) {
        PutValue(identity.subspan(kIdentityVersionOffset, kInquiryVersionLength), version, ' ');
    }
}

void ReadInquiryIdentities(Platform& platform, KeyReader& reader, UpdateData& data) {
    data.faInquiry.fill(' ');
    data.fbInquiry.fill(' ');
    ReadIdentity(platform, reader, kFaKeys, data.faInquiry);
    ReadIdentity(platform, reader, kFbKeys, data.fbInquiry);
}

// Every lower-case 'x' of the value starts a hexadecimal pair that becomes the
// next byte; the separator after the pair is skipped unseen. `word` runs from
// the opening quote to the semicolon. Nothing when there are more items than
// bytes in the block.
std::optional<DeviceSettingBytes> ParseDeviceSetting(std::string_view word) {
    DeviceSettingBytes bytes{};
    bytes.fill(0xFF);
    std::size_t count = 0;
    const std::size_t closingQuote = word.size() - 2;
    for (std::size_t i = 0; i < closingQuote;) {
        if (word[i] != 'x') {
            ++i;
            continue;
        }
        if (count == bytes.size()) return std::nullopt;
        // The pair may reach the closing quote or the semicolon; they count 0.
        bytes[count++] = HexPairToByte(word[i + 1], word[i + 2]);
        i += 4;
    }
    return bytes;
}

void ReadDeviceSetting(Platform& platform, KeyReader& reader, UpdateData& data) {
    reader.word.fill('\0');
    reader.wordLength = 0;
    const int result = ReadKeyValue(platform, reader, "Device_setting", kDeviceSettingMax);
    if (AcceptedValue(reader, result).empty()) return;
    const auto bytes =
        ParseDeviceSetting(std::string_view(reader.word.data(), static_cast<std::size_t>(result)));
    if (!bytes) return;
    data.deviceSetting = *bytes;
    data.deviceSettingActive = 1;
}

std::uint8_t HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
    return 0;
}

}  // namespace

std::uint8_t HexPairToByte(char high, char low) {
    return static_cast<std::uint8_t>(HexDigitValue(high) * 16 + HexDigitValue(low));
}

void LoadUpdateData(Platform& platform, MainView& view, const AppState& app, UpdateData& data,
                    KeyReader& reader) {
    ClearFlags(data);
    ReadIdentifiers(platform, view, reader, data);
    ReadTexts(platform, reader, data);
    ReadFileNames(platform, reader, data);
    ReadInquiryIdentities(platform, reader, data);
    ReadDeviceSetting(platform, reader, data);
    view.MessageBox(
        BuildUpdateDataSummary(data, app.osKind, app.selfDriverMode, app.driverFileName),
        kSummaryCaption, BoxIcon::None);
}

}  // namespace usbisp
