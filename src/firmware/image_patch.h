// Stamping the identity data and the serial number descriptor into the image.
#pragma once

#include <cstdint>
#include <vector>

#include "firmware/firmware_state.h"
#include "firmware/image_file.h"
#include "firmware/serial_number.h"
#include "updatedata/update_data.h"

namespace usbisp {

inline constexpr std::uint8_t kMarkerFE = 0xFE;
inline constexpr std::uint8_t kMarkerFC = 0xFC;

enum class PatchMode { None, Full, SerialOnly };

// What the two header bytes say about the image.
struct ImageKind {
    PatchMode mode = PatchMode::SerialOnly;
    bool lengthBytes = false;     // the string slots get their length bytes (types 1, 2)
    bool deviceSettings = false;  // the device settings block is written (type 6)
};

ImageKind ClassifyImage(std::uint8_t typeCode, std::uint8_t layoutMarker);

// One run of bytes to be written at an offset into the image.
struct PatchWrite {
    std::int64_t offset = 0;
    std::vector<std::uint8_t> bytes;
};

// The writes a patch of this image makes, in the order they are made. Offsets
// come from the address record and are not checked here.
std::vector<PatchWrite> PlanPatch(const ImageKind& kind, const AddressRecord& record,
                                  const UpdateData& data, const SerialDescriptor& descriptor);

// Whether every write lies inside the first `length` bytes.
bool PatchFitsImage(const std::vector<PatchWrite>& writes, std::uint32_t length);

// Writes the runs into the image, or nothing at all when one of them would
// fall outside the loaded image.
bool ApplyPatch(const std::vector<PatchWrite>& writes, FirmwareImage& image);

}  // namespace usbisp
