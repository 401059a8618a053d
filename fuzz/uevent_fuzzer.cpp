// The kernel's hotplug messages as the station reads them off its netlink
// socket: the message itself, then the USB port and the SCSI device its path
// names. Whatever comes, a port is a USB device's name found in the path and
// a SCSI device one whole part of it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "station/hotplug.h"

namespace {

bool PartOf(const std::string& part, const std::string& path) {
    return path.find("/" + part + "/") != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace usbisp::station;
    const auto event = ParseUevent(reinterpret_cast<const char*>(data), size);
    if (!event) return 0;
    const std::string port = UsbPortOf(event->devpath);
    if (!port.empty() && (port.find('/') != std::string::npos || !PartOf(port, event->devpath)))
        __builtin_trap();
    const std::string device = ScsiDeviceOf(event->devpath);
    if (!device.empty() &&
        (device.find('/') != std::string::npos || !PartOf(device, event->devpath)))
        __builtin_trap();
    return 0;
}
