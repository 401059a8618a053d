// The maker's kernel driver on Windows 2000: reached as "\\.\" + the driver
// file's base name. Discovery and the pass-through count commands only check
// that it opens; the firmware sequences keep it open while they run and hand it
// the three in-system-programming requests, which it turns into commands of
// its own.
#pragma once

#include <cstdint>
#include <string>

#include "device/driver_path.h"
#include "device/transports.h"
#include "platform/platform.h"

namespace usbisp {

// The request record of all three control codes: a 16-byte header (the code
// again, the payload byte count, the mode, the reply buffer's address as 32
// bits) and a 64 KB data area.
namespace kdrv {
inline constexpr std::uint32_t kIspJump = 0x222004u;
inline constexpr std::uint32_t kGetIspStatus = 0x222008u;
inline constexpr std::uint32_t kIspTransfer = 0x22200Cu;
inline constexpr std::uint32_t kHeaderLength = 16;
inline constexpr std::uint32_t kRequestLength = 65552;
inline constexpr std::uint32_t kMaxPayload = kRequestLength - kHeaderLength;
}  // namespace kdrv

// Opens the driver's device exclusively into kernelDriverHandle. 0 = opened,
// 1 = failed (with a line on standard output). In check mode the handle is
// closed again at once.
std::uint8_t OpenKernelDriver(Platform& platform, Transports& transports,
                              const std::string& driverFileName, bool checkMode);

// Closes kernelDriverHandle when it is open.
void CloseKernelDriver(Platform& platform, Transports& transports);

// Writes the header of a request at the start of `record` (zeroed by the
// caller): the code, the byte count, the mode and the reply address.
void FillKernelRequest(std::uint8_t* record, std::uint32_t code, std::uint32_t count,
                       std::uint32_t mode, const void* reply);

// The three requests, on kernelDriverHandle. Each builds a fresh record.
class KernelDriver {
  public:
    KernelDriver(Platform& platform, Transports& transports)
        : platform_(platform), transports_(transports) {}

    bool IspJump();
    // The reply byte is cleared before the request and handed back in every
    // case; true when the request succeeded.
    bool GetIspStatus(std::uint8_t& status);
    // The exact byte count goes to the driver, which forms the data phase
    // itself. More than the data area holds is refused without a request.
    bool IspTransfer(const std::uint8_t* payload, std::uint32_t count, std::uint8_t mode);

  private:
    bool Send(std::uint32_t code, std::uint32_t count, std::uint32_t mode,
              const std::uint8_t* payload, std::uint8_t* reply, std::uint32_t replyLength);

    Platform& platform_;
    Transports& transports_;
};

}  // namespace usbisp
