#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

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
    long size = sysconf(_SC_GETGR_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 4096);
    struct group entry {};
    struct group* found = nullptr;
    if (getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return {};
    return found->gr_name;
}

}  // namespace usbisp::lnx
