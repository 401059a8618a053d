#include "platform/sim/hardware.h"

#include <algorithm>
#include <memory>

#include "emulator/controller.h"
#include "platform/ascii_case.h"
#include "platform/sim/aspi_library.h"
#include "platform/sim/bench.h"
#include "platform/sim/drive_unit.h"
#include "platform/sim/driver_device.h"
#include "platform/sim/kernel_driver_device.h"
#include "platform/sim/port_driver_device.h"
#include "platform/sim/recorded_aspi.h"
#include "platform/sim/registry.h"
#include "platform/sim/replay.h"

namespace usbisp::sim {

namespace {

// The request family of a port driver file: 66 for the disk port driver, 65
// for the others; 0 for a file that is not a port driver.
std::uint32_t PortFamily(const std::string& file) {
    const std::string name = AsciiUpper(file);
    if (name == "RE20RERI.VAR") return kPortCode66;
    if (name == "ZIZIRADA.ZAV" || name == "ZQ_URDR.PDR") return kPortCode65;
    return 0;
}

ReaderKeyFields KeyFields(const ReaderConfig& reader) {
    return {reader.vid,
            reader.pid,
            reader.serial,
            reader.inquiryVendor,
            reader.inquiryProduct,
            reader.inquiryRevision};
}

// What the drivers leave in the registry for each unit they enumerate: its
// drive letter under the key of their form.
void RegisterDriveLetters(Bench& bench, const BenchConfig& config) {
    bool code65 = false, code66 = false;
    for (const std::string& file : config.drivers) {
        code65 = code65 || PortFamily(file) == kPortCode65;
        code66 = code66 || PortFamily(file) == kPortCode66;
    }
    for (const ReaderConfig& reader : config.readers) {
        for (std::size_t k = 0; k < reader.letters.size(); ++k) {
            const int unit = static_cast<int>(k);
            const std::string letter(1, reader.letters[k]);
            if (code65)
                bench.registry().AddString(PortDriver65Key(KeyFields(reader), unit),
                                           "CurrentDriveLetterAssignment", letter);
            if (code66)
                bench.registry().AddString(PortDriver66Key(KeyFields(reader), unit),
                                           "CurrentDriveLetterAssignment", letter);
            if (config.aspiAdapters >= 0)
                bench.registry().AddString(AspiKey(KeyFields(reader), unit),
                                           "CurrentDriveLetterAssignment", letter);
        }
    }
}

// The values the recorded machine's registry answered, each under the key
// opened before it: the drive letters the port drivers and ASPI read.
void AddRecordedRegistry(Bench& bench, const rec::Recording& recording) {
    std::string key;
    for (const rec::Event& event : recording.events) {
        if (event.call == rec::Call::RegOpenKeyExA) key = event.ok ? event.path : "";
        if (event.call != rec::Call::RegQueryValueExA || key.empty() || event.value != 0) continue;
        std::string text(event.out.begin(), event.out.end());
        text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
        bench.registry().AddString(key, event.path, text);
    }
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
        if (AsciiUpper(file) == "TAVDRV.SYS") {
            // The kernel driver reaches the first reader.
            device = std::make_shared<KernelDriverDevice>(
                file, config.driverOpenFailures, readers.empty() ? nullptr : readers.front());
        } else if (const std::uint32_t family = PortFamily(file)) {
            device = std::make_shared<PortDriverDevice>(file, config.driverOpenFailures, family,
                                                        readers, config.portDriverDeviceCount);
        } else {
            device = std::make_shared<DriverDevice>(file, config.driverOpenFailures);
        }
        bench.AddDevice("\\\\.\\" + base, device);
    }
    // A recorded reader's devices are the ones its recording opens; each
    // recording keeps one order across them.
    for (const RecordedReader& recorded : config.recordedReaders) {
        AddRecordedRegistry(bench, *recorded.recording);
        auto replay =
            std::make_shared<Replay>(recorded.recording, recorded.name, recorded.anyOrder);
        for (const std::string& path : replay->DevicePaths()) {
            bench.AddDevice(path, std::make_shared<RecordedDevice>(replay, path));
            if (path.size() == 6 && path.compare(0, 4, "\\\\.\\") == 0 && path[5] == ':')
                bench.AddLogicalDrive(AsciiUpper(path)[4]);
        }
    }
    RegisterDriveLetters(bench, config);
    const auto trace = [&bench](const std::string& line) { bench.TraceIo(line); };
    if (config.aspiAdapters >= 0) {
        bench.InstallAspi(std::make_unique<AspiLibrary>(
            config, readers, [&bench] { return bench.ElapsedMs(); }, trace));
        return;
    }
    // A machine without ASPI of its own has the first recording's that
    // loaded it.
    for (const RecordedReader& recorded : config.recordedReaders) {
        if (!RecordedAspi::Records(*recorded.recording)) continue;
        bench.InstallAspi(std::make_unique<RecordedAspi>(recorded.recording, recorded.name, trace));
        return;
    }
}

}  // namespace usbisp::sim
