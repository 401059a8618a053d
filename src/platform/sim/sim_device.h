// What the bench's emulated hardware plugs into: a device that CreateFileA can
// open and DeviceIoControl can reach.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace usbisp::sim {

// The outcome of one emulated DeviceIoControl, with what its io line says.
struct IoctlOutcome {
    bool ok = false;
    std::string details;  // the fields of the request record, e.g. "cdb=... dir=in ..."
    std::string reason;   // why a malformed request was refused; empty otherwise
};

class SimDevice {
  public:
    virtual ~SimDevice() = default;
    // Whether an open of this device succeeds now.
    virtual bool Open() { return true; }
    // A device of a recording answers an open as the recorded machine did:
    // 0 when it opened, else its last error. Emulated hardware answers
    // nothing here, and the bench decides.
    virtual std::optional<std::uint32_t> RecordedOpen(std::uint32_t /*access*/,
                                                      std::uint32_t /*share*/,
                                                      std::uint32_t /*disposition*/,
                                                      std::uint32_t /*flags*/) {
        return std::nullopt;
    }
    // A handle of it was closed.
    virtual void Closed() {}
    virtual IoctlOutcome Ioctl(std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                               std::uint32_t outSize, std::uint32_t* bytesReturned) = 0;
};

}  // namespace usbisp::sim
