#include "reader/firmware_out.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace usbisp::reader {

bool FirmwareOut::Update(const std::vector<std::uint8_t>& firmware, std::string& error) {
    if (path_.empty() || (any_ && firmware == written_)) return true;
    const std::string temporary = path_ + ".tmp";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    std::size_t done = 0;
    while (ok && done < firmware.size()) {
        const ssize_t n = write(fd, firmware.data() + done, firmware.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<std::size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    if (fd >= 0 && close(fd) != 0) ok = false;
    ok = ok && std::rename(temporary.c_str(), path_.c_str()) == 0;
    if (!ok) {
        error = "cannot write " + path_ + ": " + std::strerror(errno);
        unlink(temporary.c_str());
        return false;
    }
    written_ = firmware;
    any_ = true;
    return true;
}

}  // namespace usbisp::reader
