// Loading the ROM code file into the image buffer, and its string address
// file.
#pragma once

#include <cstdint>

#include "firmware/firmware_state.h"
#include "platform/platform.h"
#include "view/operator_messages.h"

namespace usbisp {

// The string address file: where the identity strings and the serial number
// descriptor sit in the image.
struct AddressRecord {
    std::int32_t baseOffset = 0;
    std::int32_t factorA = 0;
    std::int32_t factorB = 0;
};

// Reads the three little-endian integers. On failure the operator has been
// told (box and line) and the run must end.
bool LoadAddressRecord(Platform& platform, const OperatorMessages& messages, const char* name,
                       AddressRecord& record);

// Reads the whole ROM code file (1 to 65536 bytes) into the image and clears
// the bytes after it. On failure the operator has been told and the run must
// end; the image may then hold a partial load, which nothing sends.
bool LoadRomCodeFile(Platform& platform, const OperatorMessages& messages, const char* name,
                     FirmwareImage& image);

// Zeros every byte after the image's length.
void ClearImageTail(FirmwareImage& image);

}  // namespace usbisp
