// The maker's kernel driver of Windows 2000 ("TAVDRV.SYS", "\\.\TAVDRV"): it
// takes the three in-system-programming requests, each a 65552-byte record
// (the control code again, the payload byte count, the mode, the reply
// address, a 64 KB data area), and carries them to the first reader of the
// bench. Requests whose record does not match its control code are refused
// with a reason.
#pragma once

#include <memory>

#include "emulator/controller.h"
#include "platform/sim/driver_device.h"

namespace usbisp::sim {

inline constexpr std::uint32_t kKernelIspJump = 0x222004u;
inline constexpr std::uint32_t kKernelGetIspStatus = 0x222008u;
inline constexpr std::uint32_t kKernelIspTransfer = 0x22200Cu;
inline constexpr std::uint32_t kKernelRequestLength = 65552;

class KernelDriverDevice : public DriverDevice {
  public:
    // `reader`: the reader the driver reaches (none when the bench has none).
    KernelDriverDevice(std::string fileName, std::vector<std::string> openFailures,
                       std::shared_ptr<ReaderController> reader)
        : DriverDevice(std::move(fileName), std::move(openFailures)), reader_(std::move(reader)) {}

    IoctlOutcome Ioctl(std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                       std::uint32_t outSize, std::uint32_t* bytesReturned) override;

  private:
    std::shared_ptr<ReaderController> reader_;
};

}  // namespace usbisp::sim
