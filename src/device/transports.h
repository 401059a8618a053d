// The access paths' own state: each transport owns its handle and its request
// buffer. A handle is null when its path is closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/platform.h"

namespace usbisp {

// The pass-through request buffer: the 44-byte header, sense area and a data
// area that holds the largest transfer (64 KB).
inline constexpr std::size_t kTransferBufferSize = 65616;

class AspiRequest;

// ASPI for Win32: the loaded library and its two entry points, and the
// requests submitted whose completion routine may still run. A request given
// up on stays here until its routine has run (or, if it never does, for the
// life of the process), since the routine may still write into it; and the
// library is not let go under it: its last reference is kept in
// `keptLibrary` until the routine has run (or the process ends).
struct AspiState {
    Module library = 0;
    EntryPoint getSupportInfo;
    EntryPoint sendCommand;
    Module keptLibrary = 0;
    std::vector<std::shared_ptr<AspiRequest>> inFlight;
};

struct Transports {
    // The drive of the unit the pass-through requests go to.
    Handle driveHandle = kNullHandle;
    // Every pass-through request is built, sent and answered in this buffer.
    std::vector<std::uint8_t> transferBuffer = std::vector<std::uint8_t>(kTransferBufferSize);
    // The maker's kernel driver on Windows 2000, and the record of its
    // requests (a 16-byte header and a 64 KB data area).
    Handle kernelDriverHandle = kNullHandle;
    std::vector<std::uint8_t> kernelRequest = std::vector<std::uint8_t>(65552);
    // The port driver of Windows 95/98 and ME (either request family).
    Handle portDriverHandle = kNullHandle;
    AspiState aspi;
};

}  // namespace usbisp
