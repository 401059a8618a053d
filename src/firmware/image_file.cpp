#include "firmware/image_file.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace usbisp {

namespace {

constexpr const char* kTooLarge = "Error!!! File too large !!!, ";
constexpr const char* kLengthError = "Error!!! File length error !!!,";
constexpr const char* kReadBox = "Error!!! Problem reading file!!!";
constexpr const char* kReadLine = "Error!!! Problem reading ROM code file!!!";

// The length of an open file, -1 when it cannot be taken. The file is left
// positioned at its start.
long FileLength(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) return -1;
    const long length = std::ftell(file);
    if (length < 0 || std::fseek(file, 0, SEEK_SET) != 0) return -1;
    return length;
}

}  // namespace

bool LoadAddressRecord(Platform& platform, const OperatorMessages& messages, const char* name,
                       AddressRecord& record) {
    std::FILE* file = platform.OpenFile(name, "rb");
    if (!file) {
        messages.BoxAndLine(std::string("Error!!! Can Not Open ") + name + " String address file.");
        return false;
    }
    // A value cut short by the end of the file counts as missing: its bytes
    // would otherwise be made up.
    std::uint8_t bytes[kAddressRecordSize];
    const std::size_t got = std::fread(bytes, 1, sizeof bytes, file);
    const bool read = DecodeAddressRecord(bytes, got, record);
    std::fclose(file);
    if (!read) {
        messages.BoxAndLine(std::string("Error!!! Problem reading file") + name);
        return false;
    }
    return true;
}

RomCodeRead ReadRomCodeFile(Platform& platform, const char* name, std::size_t maxLength,
                            FirmwareImage& image) {
    using Outcome = RomCodeRead::Outcome;
    std::FILE* file = platform.OpenFile(name, "rb");
    if (!file) return {Outcome::CannotOpen, -1};
    const long length = FileLength(file);
    RomCodeRead read{Outcome::Loaded, length};
    const auto size = static_cast<std::size_t>(length);
    if (length < 0) {
        read.outcome = Outcome::NoLength;
    } else if (size > maxLength || size > image.bytes.size()) {
        read.outcome = Outcome::TooLarge;
    } else if (size == 0 || std::fread(image.bytes.data(), 1, size, file) != size) {
        // A read that delivers less than the length (an empty file, a read
        // error, a file cut short meanwhile) has read no usable data.
        read.outcome = Outcome::NoData;
    } else {
        image.length = static_cast<std::uint32_t>(size);
        ClearImageTail(image);
    }
    std::fclose(file);
    return read;
}

RomCodeMessage RomCodeReadMessage(const RomCodeRead& read, const std::string& name) {
    using Outcome = RomCodeRead::Outcome;
    switch (read.outcome) {
        case Outcome::CannotOpen: {
            const std::string text = "Error!!! Can Not Open " + name + " ISP Binary ROM Code";
            return {text, text};
        }
        case Outcome::NoLength:
            return {std::string(kLengthError) + "-1", std::string(kLengthError) + "-1"};
        case Outcome::TooLarge:
            return {kTooLarge + std::to_string(read.length),
                    kTooLarge + std::to_string(read.length)};
        case Outcome::NoData:
        case Outcome::Loaded:
            break;
    }
    return {kReadBox, kReadLine};
}

bool LoadRomCodeFile(Platform& platform, const OperatorMessages& messages, const char* name,
                     FirmwareImage& image) {
    const RomCodeRead read = ReadRomCodeFile(platform, name, kFirmwareImageSize, image);
    if (read.loaded()) return true;
    const RomCodeMessage message = RomCodeReadMessage(read, name);
    messages.Box(message.box);
    messages.Line(message.line);
    return false;
}

void ClearImageTail(FirmwareImage& image) {
    const std::size_t length = std::min<std::size_t>(image.length, image.bytes.size());
    std::fill(image.bytes.begin() + static_cast<std::ptrdiff_t>(length), image.bytes.end(), 0);
}

}  // namespace usbisp
