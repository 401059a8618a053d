#include "platform/sim/hardware.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "platform/sim/bench.h"
#include "platform/sim/controller.h"
#include "platform/sim/drive_unit.h"
#include "platform/sim/driver_device.h"
#include "platform/sim/kernel_driver_device.h"

namespace usbisp::sim {

namespace {

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

void InstallHardware(Bench& bench) {
    const BenchConfig& config = bench.config();
    ReaderEnvironment environment;
    environment.kernelDriverInstalled = bench.DriverInstalled("TAVDRV.SYS");
    environment.readerCount = config.readers.size();
    std::vector<std::shared_ptr<ReaderController>> readers;
    for (const ReaderConfig& reader : config.readers) {
        auto controller = std::make_shared<ReaderController>(reader, environment);
        for (char letter : reader.letters)
            bench.AddDevice(std::string("\\\\.\\") + letter + ":",
                            std::make_shared<ReaderUnit>(controller, config.refusals));
        bench.AddReader(controller);
        readers.push_back(controller);
    }
    for (char letter : config.drives)
        bench.AddDevice(std::string("\\\\.\\") + letter + ":",
                        std::make_shared<PlainDisk>(config.refusals));

    // A maker's driver is reached as "\\.\" + the file's base name.
    for (const std::string& file : config.drivers) {
        const std::string base = file.substr(0, file.find('.'));
        if (base.empty()) continue;
        std::shared_ptr<SimDevice> device;
        if (Upper(file) == "TAVDRV.SYS") {
            // The kernel driver reaches the first reader.
            device = std::make_shared<KernelDriverDevice>(
                file, config.driverOpenFailures, readers.empty() ? nullptr : readers.front());
        } else {
            device = std::make_shared<DriverDevice>(file, config.driverOpenFailures);
        }
        bench.AddDevice("\\\\.\\" + base, device);
    }
}

}  // namespace usbisp::sim
