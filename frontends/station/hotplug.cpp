#include "station/hotplug.h"

#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace usbisp::station {

namespace {

bool AllDigits(const std::string& s, std::size_t from, std::size_t to) {
    return from < to && std::all_of(s.begin() + static_cast<std::ptrdiff_t>(from),
                                    s.begin() + static_cast<std::ptrdiff_t>(to), [](char c) {
                                        return std::isdigit(static_cast<unsigned char>(c));
                                    });
}

// "1-1.2": a bus number, a dash, port numbers separated by dots.
bool IsUsbDevice(const std::string& name) {
    const auto dash = name.find('-');
    if (dash == std::string::npos || !AllDigits(name, 0, dash)) return false;
    std::size_t from = dash + 1;
    for (;;) {
        const auto dot = name.find('.', from);
        const std::size_t to = dot == std::string::npos ? name.size() : dot;
        if (!AllDigits(name, from, to)) return false;
        if (dot == std::string::npos) return true;
        from = dot + 1;
    }
}

// "1-1.2:1.0": an interface of the USB device "1-1.2".
bool IsUsbInterface(const std::string& name) {
    const auto colon = name.find(':');
    return colon != std::string::npos && IsUsbDevice(name.substr(0, colon));
}

// "usb1": a root hub.
bool IsRootHub(const std::string& name) {
    return name.size() > 3 && name.compare(0, 3, "usb") == 0 && AllDigits(name, 3, name.size());
}

}  // namespace

std::optional<Uevent> ParseUevent(const char* data, std::size_t size) {
    const std::string message(data, size);
    const auto headerEnd = message.find('\0');
    const std::string header = message.substr(0, headerEnd);
    const auto at = header.find('@');
    if (at == std::string::npos || at == 0) return std::nullopt;
    Uevent event;
    event.action = header.substr(0, at);
    event.devpath = header.substr(at + 1);
    for (std::size_t pos = headerEnd == std::string::npos ? size : headerEnd + 1; pos < size;) {
        const auto end = std::min(message.find('\0', pos), size);
        const std::string field = message.substr(pos, end - pos);
        const auto eq = field.find('=');
        if (eq != std::string::npos) {
            const std::string key = field.substr(0, eq);
            const std::string value = field.substr(eq + 1);
            if (key == "ACTION") event.action = value;
            if (key == "DEVPATH") event.devpath = value;
            if (key == "SUBSYSTEM") event.subsystem = value;
            if (key == "DEVNAME") event.devname = value;
        }
        pos = end + 1;
    }
    return event;
}

std::string UsbPortOf(const std::string& devpath) {
    bool underHub = false;
    std::string device;
    std::size_t pos = 0;
    while (pos < devpath.size()) {
        const auto slash = devpath.find('/', pos);
        const std::size_t end = slash == std::string::npos ? devpath.size() : slash;
        const std::string part = devpath.substr(pos, end - pos);
        pos = end + 1;
        if (IsRootHub(part)) {
            underHub = true;
        } else if (underHub && IsUsbInterface(part)) {
            return device;
        } else if (underHub && IsUsbDevice(part)) {
            device = part;
        }
    }
    return "";
}

std::string ScsiDeviceOf(const std::string& devpath) {
    const auto at = devpath.find("/scsi_generic/");
    if (at == std::string::npos || at == 0) return "";
    const auto start = devpath.rfind('/', at - 1);
    return start == std::string::npos ? "" : devpath.substr(start + 1, at - start - 1);
}

KernelHotplug::~KernelHotplug() {
    if (fd_ >= 0) ::close(fd_);
}

bool KernelHotplug::Open(std::string& error) {
    fd_ = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT);
    if (fd_ < 0) {
        error = std::string("cannot open the kernel's uevent socket: ") + std::strerror(errno);
        return false;
    }
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = 1;  // the kernel's own messages
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error = std::string("cannot listen to the kernel's uevents: ") + std::strerror(errno);
        return false;
    }
    // The default buffer holds a few hundred messages; a hub of readers
    // plugged in at once, each with its USB, SCSI, block and sg devices, sends
    // more while the station is busy. Beyond net.core.rmem_max only root may
    // go (FORCE); otherwise the kernel gives what it allows.
    const int size = kReceiveBuffer;
    if (::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    return true;
}

HotplugBatch KernelHotplug::Read() {
    HotplugBatch batch;
    char buffer[8192];
    for (;;) {
        sockaddr_nl sender{};
        iovec io{buffer, sizeof buffer};
        msghdr message{};
        message.msg_name = &sender;
        message.msg_namelen = sizeof sender;
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        const ssize_t n = ::recvmsg(fd_, &message, 0);
        if (n < 0 && errno == EINTR) continue;
        // The buffer overflowed: messages are gone, but the socket still
        // works and what follows is read as usual.
        if (n < 0 && errno == ENOBUFS) {
            batch.lost = true;
            continue;
        }
        if (n <= 0) break;
        // Only the kernel speaks on this group; anything else is not believed.
        if (sender.nl_pid != 0 || (message.msg_flags & MSG_TRUNC)) continue;
        if (auto event = ParseUevent(buffer, static_cast<std::size_t>(n)))
            batch.events.push_back(std::move(*event));
    }
    return batch;
}

}  // namespace usbisp::station
