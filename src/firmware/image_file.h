// Loading the ROM code file into the image buffer, and its string address
// file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "firmware/firmware_state.h"
#include "platform/image_layout.h"
#include "platform/platform.h"
#include "view/operator_messages.h"

namespace usbisp {

// Reads the three little-endian integers. On failure the operator has been
// told (box and line) and the run must end.
bool LoadAddressRecord(Platform& platform, const OperatorMessages& messages, const char* name,
                       AddressRecord& record);

// How reading a ROM code file into the image went.
struct RomCodeRead {
    enum class Outcome { Loaded, CannotOpen, NoLength, TooLarge, NoData };
    Outcome outcome = Outcome::CannotOpen;
    long length = -1;  // the file's length, once it could be taken

    bool loaded() const { return outcome == Outcome::Loaded; }
};

// Reads the whole ROM code file, 1 to `maxLength` bytes, into the image and
// clears the bytes after it. A file that delivers fewer bytes than its length
// has read no data. Says nothing to the operator; on failure the image may
// hold a partial load, which nothing sends.
RomCodeRead ReadRomCodeFile(Platform& platform, const char* name, std::size_t maxLength,
                            FirmwareImage& image);

// What the operator is told when a ROM code file could not be read: the box
// and the log line (they differ only when the file read no data).
struct RomCodeMessage {
    std::string box;
    std::string line;
};
RomCodeMessage RomCodeReadMessage(const RomCodeRead& read, const std::string& name);

// Reads the whole ROM code file (1 to 65536 bytes) into the image and clears
// the bytes after it. On failure the operator has been told and the run must
// end.
bool LoadRomCodeFile(Platform& platform, const OperatorMessages& messages, const char* name,
                     FirmwareImage& image);

// Zeros every byte after the image's length.
void ClearImageTail(FirmwareImage& image);

}  // namespace usbisp
