// Decoding the identity block a controller answers with into a device record,
// and recognising the controller chip.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/app_state.h"
#include "discovery/device_info.h"

namespace usbisp {

// The three hardware-revision bytes as six lower-case hexadecimal digits.
std::string ChipCodeText(const std::array<std::uint8_t, 3>& hardwareRevision);

// Chip 7620 (third byte 'C'), 7650 (any third byte), 7680 (third byte 'G'),
// and the chips the firmware image check knows (7340, 7344, 7310, 7410, 7440,
// 7460, 7311, 7353, any third byte).
bool IsKnownChip(const std::array<std::uint8_t, 3>& hardwareRevision);

// Decodes the identity block into slot `slot` (0 to 9) and writes chipCode.
// Leaves the slot's drive count and letters and its ASPI address alone.
void DecodeIdentity(const IdentityBlock& block, DeviceInfo& slot, AppState& app);

}  // namespace usbisp
