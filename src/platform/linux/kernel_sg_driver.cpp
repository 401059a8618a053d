#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>

#include "platform/linux/sg_driver.h"

namespace usbisp::lnx {

int KernelSgDriver::CheckAccess(const std::string& device) {
    return faccessat(AT_FDCWD, device.c_str(), R_OK | W_OK, AT_EACCESS) == 0 ? 0 : -errno;
}

int KernelSgDriver::Open(const std::string& device, bool write) {
    // O_NONBLOCK: a card reader's block device without a card in it still
    // opens, and an sg device never waits for another opener.
    const int fd = open(device.c_str(), (write ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
}

int KernelSgDriver::Io(int fd, sg_io_hdr_t& io) {
    // Not repeated after EINTR: the command may have reached the device, and
    // a transfer must not be sent twice. The sequences decide what to do.
    return ioctl(fd, SG_IO, &io) < 0 ? -errno : 0;
}

void KernelSgDriver::Close(int fd) {
    close(fd);
}

std::string KernelSgDriver::GroupOf(const std::string& device) {
    struct stat info {};
    if (stat(device.c_str(), &info) != 0) return {};
    // The program is linked statically, where the C library's group lookups
    // would need its shared modules: /etc/group names the device groups
    // ("disk") on every system that matters here. Empty when it does not.
    std::ifstream groups("/etc/group");
    for (std::string line; std::getline(groups, line);) {
        // name:password:gid:members
        const auto first = line.find(':');
        const auto second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos) continue;
        const auto third = line.find(':', second + 1);
        const std::string gid = line.substr(second + 1, third - second - 1);
        if (gid == std::to_string(info.st_gid)) return line.substr(0, first);
    }
    return {};
}

}  // namespace usbisp::lnx
