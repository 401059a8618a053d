// What the Linux layer asks of the kernel's SCSI generic driver: open a
// device, carry one SG_IO request, close it. KernelSgDriver makes the system
// calls; the tests put the bench's emulated readers behind the same calls.
#pragma once

#include <scsi/sg.h>

#include <string>

namespace usbisp::lnx {

class SgDriver {
  public:
    virtual ~SgDriver() = default;

    // 0 when this process may open the device for reading and writing, else
    // -errno (-ENOENT: there is no such device; -EACCES: no permission).
    virtual int CheckAccess(const std::string& device) = 0;
    // A descriptor, or -errno. `write` opens it for reading and writing.
    virtual int Open(const std::string& device, bool write) = 0;
    // 0 when the kernel took the request (what became of it is in `io`), or
    // -errno when the call itself failed.
    virtual int Io(int fd, sg_io_hdr_t& io) = 0;
    virtual void Close(int fd) = 0;
    // The name of the group that owns the device, empty when unknown: the
    // message that says how to get access names it.
    virtual std::string GroupOf(const std::string& device) = 0;
};

// The real driver: open(2), ioctl(2) with SG_IO, close(2).
class KernelSgDriver final : public SgDriver {
  public:
    int CheckAccess(const std::string& device) override;
    int Open(const std::string& device, bool write) override;
    int Io(int fd, sg_io_hdr_t& io) override;
    void Close(int fd) override;
    std::string GroupOf(const std::string& device) override;
};

}  // namespace usbisp::lnx
