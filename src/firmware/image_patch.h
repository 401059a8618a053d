// Stamping the identity data and the serial number descriptor into the image.
#pragma once

#include <cstdint>
#include <vector>

#include "firmware/firmware_state.h"
#include "firmware/image_file.h"
#include "firmware/serial_number.h"
#include "platform/image_layout.h"
#include "updatedata/update_data.h"

namespace usbisp {

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
