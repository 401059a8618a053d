// Readers arriving and leaving on this machine: the kernel's hotplug events
// (uevents) of SCSI generic devices, each tied to the USB port its reader is
// plugged into. They come from the kernel's uevent netlink socket, which needs
// no udev daemon; the tests feed their own.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace usbisp::station {

struct Uevent {
    std::string action;     // "add", "remove", ...
    std::string devpath;    // "/devices/.../scsi_generic/sg2"
    std::string subsystem;  // "scsi_generic", ...
    std::string devname;    // "sg2"
};

// One kernel message: "action@devpath", then KEY=VALUE fields, each ended by
// a zero byte. Nothing for a message of another form (udev's own).
std::optional<Uevent> ParseUevent(const char* data, std::size_t size);

// The USB device a SCSI device's path lies under, by its kernel name: the USB
// port path ("1-1.2": bus 1, port 1, then port 2 of the hub there), the name
// of the directory of the reader the Linux layer's scan gives. Empty when the
// path is not under a USB device. A unit's remove event has nothing left in
// sysfs to look at: its path alone tells the port.
std::string UsbPortOf(const std::string& devpath);

// The SCSI device a unit's path names ("6:0:0:0": host, channel, target,
// LUN): a reader plugged in again gets a new host number, so a unit whose sg
// name came back under another SCSI device is another reader's.
std::string ScsiDeviceOf(const std::string& devpath);

// What waits on a source: the events, and whether some were lost before them
// (the kernel's buffer overflowed): then only sysfs tells what is attached.
struct HotplugBatch {
    std::vector<Uevent> events;
    bool lost = false;
};

// Where the events come from.
class HotplugSource {
  public:
    virtual ~HotplugSource() = default;
    // A descriptor that poll(2) finds readable when events wait.
    virtual int fd() const = 0;
    // The events that wait now.
    virtual HotplugBatch Read() = 0;
};

// The kernel's uevent netlink socket, with a receive buffer large enough for
// a hub full of readers arriving at once.
class KernelHotplug : public HotplugSource {
  public:
    static constexpr int kReceiveBuffer = 8 << 20;

    ~KernelHotplug() override;
    // False with `error` when the socket cannot be had.
    bool Open(std::string& error);
    int fd() const override { return fd_; }
    HotplugBatch Read() override;

  private:
    int fd_ = -1;
};

}  // namespace usbisp::station
