// The maker's port drivers of Windows 95/98 and ME. "ZIZIRADA.ZAV" and
// "ZQ_URDR.PDR" serve control code 65 (a 16-byte record per operation), and
// "RE20RERI.VAR" control code 66 (the 16-byte record for the two counts, the
// 40-byte record that carries a command block). The readers of the bench are
// the driver's devices 0, 1, ... in bench order. Every record is checked
// against its function's table (record size, function number, device index,
// the lengths given and the buffer address the record repeats) and a request
// that does not suit it is refused with a reason.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "emulator/controller.h"
#include "platform/sim/driver_device.h"

namespace usbisp::sim {

inline constexpr std::uint32_t kPortCode65 = 65;
inline constexpr std::uint32_t kPortCode66 = 66;

// The fields of a port driver's request record as its io line shows them,
// with the data going out of a request that passes the record's checks up
// to its data; empty for what is no record of `code`.
std::string PortDriverDetails(std::uint32_t code, const void* in, std::uint32_t inSize,
                              const void* out, std::uint32_t outSize);

class PortDriverDevice : public DriverDevice {
  public:
    // `family`: 65 or 66. `deviceCount`: what the driver reports as its device
    // count instead of the number of readers.
    PortDriverDevice(std::string fileName, std::vector<std::string> openFailures,
                     std::uint32_t family, std::vector<std::shared_ptr<ReaderController>> readers,
                     std::optional<int> deviceCount)
        : DriverDevice(std::move(fileName), std::move(openFailures)),
          family_(family),
          readers_(std::move(readers)),
          deviceCount_(deviceCount) {}

    IoctlOutcome Ioctl(std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                       std::uint32_t outSize, std::uint32_t* bytesReturned) override;

  private:
    IoctlOutcome Code65(const std::uint8_t* record, void* out, std::uint32_t outSize);
    IoctlOutcome Code66Count(const std::uint8_t* record, void* out, std::uint32_t outSize);
    IoctlOutcome Code66Cdb(const std::uint8_t* record, void* out, std::uint32_t outSize);
    // Hands the request to reader `device`; false when there is none or it
    // does not carry the request out.
    bool Carry(std::uint32_t device, ControllerRequest request, ControllerReply& reply);

    std::uint32_t family_;
    std::vector<std::shared_ptr<ReaderController>> readers_;
    std::optional<int> deviceCount_;
};

}  // namespace usbisp::sim
