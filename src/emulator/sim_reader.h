// A card reader as the machine it is plugged into sees it from outside: it
// can be unplugged and plugged in again, and its firmware read back.
#pragma once

#include <cstdint>
#include <vector>

namespace usbisp::sim {

class SimReader {
  public:
    virtual ~SimReader() = default;
    // Unplugged and plugged in again: leaves ISP mode and starts its firmware.
    virtual void Replug() = 0;
    // The firmware the controller holds now.
    virtual std::vector<std::uint8_t> Firmware() const = 0;
};

}  // namespace usbisp::sim
