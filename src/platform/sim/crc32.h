// The bench's name for the CRC-32 of the io lines' data= fields.
#pragma once

#include "platform/crc32.h"

namespace usbisp::sim {
using usbisp::Crc32;
}  // namespace usbisp::sim
