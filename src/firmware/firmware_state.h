// What the firmware flows keep for the whole run: the image buffer, the serial
// counter and the status window of the latest flow.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "view/progress_dialog.h"

namespace usbisp {

class SerialSource;

inline constexpr std::size_t kFirmwareImageSize = 65536;

// The ROM code file as read, and its length (1 to 65536 after a good load).
// The bytes after the image are zero: every load clears them, so a shorter
// image never carries the tail of an earlier, longer one to the device.
struct FirmwareImage {
    std::array<std::uint8_t, kFirmwareImageSize> bytes{};
    std::uint32_t length = 0;
};

// The three values of SERIAL.TXT, kept in memory between runs.
struct SerialCounter {
    std::uint32_t CEM = 0;
    std::uint32_t PC = 0;
    std::uint32_t CNT = 0;
};

struct FirmwareState {
    FirmwareImage firmwareImage;
    SerialCounter serialCounter;
    // The last store of SERIAL.TXT failed: the counter in memory is ahead of
    // the file, and the file must not be read over it.
    bool serialUnsaved = false;
    // Where programming runs take their serial numbers; none: SERIAL.TXT.
    SerialSource* serialSource = nullptr;
    // The status window of the latest flow; the next flow replaces it.
    std::unique_ptr<ProgressDialog> progressWindow;
};

}  // namespace usbisp
