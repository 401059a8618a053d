#include "platform/sim/hardware.h"

#include <memory>

#include "platform/sim/bench.h"

namespace usbisp::sim {

namespace {

// The device of an installed maker's driver: it opens; its requests are not
// emulated yet and fail.
class DriverDevice : public SimDevice {
public:
    IoctlOutcome Ioctl(std::uint32_t, void*, std::uint32_t, void*, std::uint32_t,
                       std::uint32_t*) override {
        return {false, "", "request not emulated"};
    }
};

// A fixed disk that is not a card reader.
class PlainDisk : public SimDevice {
public:
    IoctlOutcome Ioctl(std::uint32_t, void*, std::uint32_t, void*, std::uint32_t,
                       std::uint32_t*) override {
        return {false, "", "request not emulated"};
    }
};

}  // namespace

void InstallHardware(Bench& bench) {
    // A maker's driver is reached as "\\.\" + the file's base name.
    for (const std::string& file : bench.config().drivers) {
        const std::string base = file.substr(0, file.find('.'));
        if (!base.empty()) bench.AddDevice("\\\\.\\" + base, std::make_shared<DriverDevice>());
    }
    for (char letter : bench.config().drives)
        bench.AddDevice(std::string("\\\\.\\") + letter + ":", std::make_shared<PlainDisk>());
}

}  // namespace usbisp::sim
