// What the Linux layer asks of the kernel: open a SCSI generic device, carry
// one request, close it; what a device node is; whether a disk is held by
// the system. KernelSgDriver makes the system calls; the tests put the
// bench's emulated readers behind the same calls.
#pragma once

#include <scsi/sg.h>

#include <string>

namespace usbisp::lnx {

// The character devices of the SCSI generic driver.
inline constexpr unsigned kSgMajor = 21;

// What stat(2) says of a device node.
struct NodeInfo {
    int error = 0;  // 0, or the errno of stat(2)
    bool character = false;
    bool block = false;
    unsigned major = 0;
    unsigned minor = 0;
};

class SgDriver {
  public:
    virtual ~SgDriver() = default;

    // 0 when this process may open the device for reading and writing, else
    // -errno (-ENOENT: there is no such device; -EACCES: no permission).
    virtual int CheckAccess(const std::string& device) = 0;
    // A descriptor, or -errno. `write` opens it for reading and writing.
    virtual int Open(const std::string& device, bool write) = 0;
    // Carries one request to the device and waits for its end: 0 when the
    // kernel took the request (what became of it is in `io`), or -errno when
    // it did not.
    virtual int Io(int fd, sg_io_hdr_t& io) = 0;
    virtual void Close(int fd) = 0;
    // The name of the group that owns the device, empty when unknown: the
    // message that says how to get access names it.
    virtual std::string GroupOf(const std::string& device) = 0;
    virtual NodeInfo Stat(const std::string& path) = 0;
    // Whether something in the system holds a disk (a mounted file system,
    // swap, a volume): 0 when an exclusive open of its block device succeeds,
    // -EBUSY when it is held, another -errno when that cannot be told.
    virtual int ProbeExclusive(const std::string& blockDevice) = 0;
};

// The real driver: open(2), write(2) and read(2) of the sg_io_hdr, close(2).
class KernelSgDriver final : public SgDriver {
  public:
    int CheckAccess(const std::string& device) override;
    int Open(const std::string& device, bool write) override;
    int Io(int fd, sg_io_hdr_t& io) override;
    void Close(int fd) override;
    std::string GroupOf(const std::string& device) override;
    NodeInfo Stat(const std::string& path) override;
    int ProbeExclusive(const std::string& blockDevice) override;
};

}  // namespace usbisp::lnx
