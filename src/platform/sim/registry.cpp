#include "platform/sim/registry.h"

#include <cstdio>
#include <cstring>

#include "platform/ascii_case.h"
#include "platform/printf_text.h"
#include "platform/win_constants.h"

namespace usbisp::sim {

namespace {

constexpr long kErrorInvalidHandle = 6;

std::string Underscored(std::string text) {
    for (char& c : text)
        if (c == ' ') c = '_';
    return text;
}

std::string Identifiers(const ReaderKeyFields& r) {
    return Printf("VID_%04x&PID_%04x&", r.vid, r.pid);
}

// The serial of the identity block: 12 characters, zeros after a shorter one.
// The drivers build their keys as C strings, so the key ends at a zero.
std::string KeyEnd(const ReaderKeyFields& r, int unit) {
    std::string serial = r.serial;
    serial.resize(12, '\0');
    return serial + "0" + std::string(1, static_cast<char>('0' + unit));
}

// Trailing spaces dropped, the others made "_".
std::string Trimmed(std::string text) {
    const auto last = text.find_last_not_of(' ');
    text.erase(last == std::string::npos ? 0 : last + 1);
    return Underscored(text);
}

std::string AsCString(const std::string& key) {
    return std::string(key.c_str());
}

}  // namespace

void Registry::AddString(const std::string& key, const std::string& name, const std::string& data) {
    keys_[AsciiUpper(key)].emplace(name, data);
}

long Registry::Open(const std::string& key, RegKey* result) {
    if (result) *result = 0;
    auto it = keys_.find(AsciiUpper(key));
    if (it == keys_.end()) return win::kErrorFileNotFound;
    const RegKey handle = next_;
    next_ += 4;
    open_[handle] = it->first;
    if (result) *result = handle;
    return win::kErrorSuccess;
}

long Registry::Query(RegKey key, const std::string& name, std::uint8_t* data, std::uint32_t* size,
                     std::string& text) {
    auto handle = open_.find(key);
    if (handle == open_.end()) return kErrorInvalidHandle;
    const auto& values = keys_[handle->second];
    auto value = values.find(name);
    if (value == values.end()) return win::kErrorFileNotFound;
    const std::uint32_t needed = static_cast<std::uint32_t>(value->second.size() + 1);
    if (size == nullptr) return win::kErrorSuccess;
    if (data != nullptr && *size < needed) {
        *size = needed;
        return win::kErrorMoreData;
    }
    if (data != nullptr) std::memcpy(data, value->second.c_str(), needed);
    *size = needed;
    text = value->second;
    return win::kErrorSuccess;
}

long Registry::Close(RegKey key) {
    return open_.erase(key) == 1 ? win::kErrorSuccess : kErrorInvalidHandle;
}

std::string PortDriver65Key(const ReaderKeyFields& r, int unit) {
    return AsCString("Enum\\SCSI\\________USB_DISK_DRIVER_0\\ZOZEREDI&DISK&0000USB&" +
                     Identifiers(r) + KeyEnd(r, unit));
}

std::string PortDriver66Key(const ReaderKeyFields& r, int unit) {
    return AsCString("Enum\\SCSI\\" + Underscored(r.inquiryVendor) + Underscored(r.inquiryProduct) +
                     Underscored(r.inquiryRevision).substr(0, 1) + "\\RE20DADI&DISK&0000USB&" +
                     Identifiers(r) + KeyEnd(r, unit));
}

std::string AspiKey(const ReaderKeyFields& r, int unit) {
    std::string serial = r.serial;
    serial.resize(12, '\0');
    return AsCString("Enum\\SCSI\\" + Underscored(r.inquiryVendor) + Underscored(r.inquiryProduct) +
                     Underscored(r.inquiryRevision).substr(0, 1) + "\\USBSTOR&DISK&VEN_" +
                     Trimmed(r.inquiryVendor) + "&PROD_" + Trimmed(r.inquiryProduct) + "&REV_" +
                     Trimmed(r.inquiryRevision) + "&" + serial + "&" +
                     std::string(1, static_cast<char>('0' + unit)) + "00");
}

}  // namespace usbisp::sim
