#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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
    // O_NONBLOCK for the open alone: an sg device then never waits for
    // another opener that holds it exclusively (EBUSY instead). The reads
    // that wait for a request's end must block, so it is cleared afterwards.
    const int fd = open(device.c_str(), (write ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -errno;
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        const int error = errno;
        close(fd);
        return -error;
    }
    return fd;
}

int KernelSgDriver::Io(int fd, sg_io_hdr_t& io) {
    // The request is written to the driver and its end read back, rather
    // than carried by the SG_IO ioctl. SG_IO waits interruptibly: a signal
    // makes it give up waiting while the device still carries out the
    // command, and the kernel then either fails the call with EINTR (a
    // handler without SA_RESTART) or restarts it, which sends the same
    // command block to the device again (a handler with SA_RESTART, or a
    // stop and a continue). A write queues the command exactly once; a read
    // interrupted or restarted only waits again for the same answer.
    //
    // The driver queues the command only on a write that succeeds, so a
    // write that a signal interrupted sent nothing and is made again.
    ssize_t written = 0;
    do {
        written = write(fd, &io, sizeof io);
    } while (written < 0 && errno == EINTR);
    if (written < 0) return -errno;
    for (;;) {
        if (read(fd, &io, sizeof io) >= 0) return 0;
        if (errno != EINTR) return -errno;
    }
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

NodeInfo KernelSgDriver::Stat(const std::string& path) {
    NodeInfo node;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        node.error = errno;
        return node;
    }
    node.character = S_ISCHR(info.st_mode);
    node.block = S_ISBLK(info.st_mode);
    node.major = major(info.st_rdev);
    node.minor = minor(info.st_rdev);
    return node;
}

int KernelSgDriver::ProbeExclusive(const std::string& blockDevice) {
    // O_EXCL on a block device claims it: the kernel refuses with EBUSY while
    // a file system, swap, a volume or another exclusive opener holds the
    // disk or one of its partitions. O_NONBLOCK: a card slot opens without
    // its card.
    const int fd = open(blockDevice.c_str(), O_RDONLY | O_EXCL | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -errno;
    close(fd);
    return 0;
}

}  // namespace usbisp::lnx
