// The device of one of the maker's drivers ("\\.\" + the driver file's base
// name), present while the driver is installed. Its opens are counted over the
// run, and the bench's `driverOpenFailures` can fail the n-th of them.
#pragma once

#include <string>
#include <vector>

#include "platform/sim/sim_device.h"

namespace usbisp::sim {

class DriverDevice : public SimDevice {
  public:
    // `failures`: "FILE" fails every open of this driver, "FILE#n" the n-th.
    DriverDevice(std::string fileName, std::vector<std::string> failures)
        : fileName_(std::move(fileName)), failures_(std::move(failures)) {}

    bool Open() override;
    // A driver whose requests the bench does not serve.
    IoctlOutcome Ioctl(std::uint32_t, void*, std::uint32_t, void*, std::uint32_t,
                       std::uint32_t* bytesReturned) override {
        if (bytesReturned) *bytesReturned = 0;
        return {false, "", "request not emulated"};
    }

  private:
    std::string fileName_;
    std::vector<std::string> failures_;
    int opens_ = 0;
};

}  // namespace usbisp::sim
