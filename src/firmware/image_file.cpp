#include "firmware/image_file.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/byte_order.h"

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

bool ReadInt32(std::FILE* file, std::int32_t& value) {
    std::uint8_t bytes[4];
    if (std::fread(bytes, 1, sizeof bytes, file) != sizeof bytes) return false;
    value = static_cast<std::int32_t>(GetLe32(bytes));
    return true;
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
    const bool read = ReadInt32(file, record.baseOffset) && ReadInt32(file, record.factorA) &&
                      ReadInt32(file, record.factorB);
    std::fclose(file);
    if (!read) {
        messages.BoxAndLine(std::string("Error!!! Problem reading file") + name);
        return false;
    }
    return true;
}

bool LoadRomCodeFile(Platform& platform, const OperatorMessages& messages, const char* name,
                     FirmwareImage& image) {
    std::FILE* file = platform.OpenFile(name, "rb");
    if (!file) {
        messages.BoxAndLine(std::string("Error!!! Can Not Open ") + name + " ISP Binary ROM Code");
        return false;
    }
    const long length = FileLength(file);
    if (length < 0) {
        messages.BoxAndLine(std::string(kLengthError) + "-1");
        std::fclose(file);
        return false;
    }
    if (static_cast<unsigned long>(length) > kFirmwareImageSize) {
        messages.BoxAndLine(kTooLarge + std::to_string(length));
        std::fclose(file);
        return false;
    }
    const auto size = static_cast<std::size_t>(length);
    // A read that delivers less than the length (an empty file, a read error,
    // a file cut short meanwhile) is a failed read.
    const std::size_t got = size == 0 ? 0 : std::fread(image.bytes.data(), 1, size, file);
    if (got == 0 || got != size) {
        messages.Box(kReadBox);
        std::fclose(file);
        messages.Line(kReadLine);
        return false;
    }
    std::fclose(file);
    image.length = static_cast<std::uint32_t>(size);
    ClearImageTail(image);
    return true;
}

void ClearImageTail(FirmwareImage& image) {
    const std::size_t length = std::min<std::size_t>(image.length, image.bytes.size());
    std::fill(image.bytes.begin() + static_cast<std::ptrdiff_t>(length), image.bytes.end(), 0);
}

}  // namespace usbisp
