// What a controller reports about itself once it runs a firmware image: the
// strings it reads from the image's identity data, where the image's address
// record places them, instead of the reader's keys.
#pragma once

#include <cstdint>
#include <vector>

#include "emulator/reader_config.h"
#include "platform/image_layout.h"

namespace usbisp::sim {

// Takes the identity the image carries into `reader`: from a full-layout
// image the manufacturer and product strings, the serial number and the three
// inquiry texts; from a serial-only image the serial number alone. A string
// slot with a length byte (types 1 and 2) holds that many characters, one
// without ends at its first zero byte; trailing blanks are not part of it.
// Nothing is taken, and false returned, from an image without identity data
// or one whose fields the record places outside it.
bool TakeFirmwareIdentity(const std::vector<std::uint8_t>& image, const AddressRecord& layout,
                          ReaderConfig& reader);

}  // namespace usbisp::sim
