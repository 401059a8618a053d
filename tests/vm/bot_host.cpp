#include "bot_host.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace bot {

int fd = -1;
std::uint32_t nextTag = 1;

namespace {
int failures = 0;
}

void Check(bool ok, const std::string& name, const std::string& why, const std::string& note) {
    if (ok && note.empty()) {
        std::printf("ok %s\n", name.c_str());
    } else if (ok) {
        std::printf("ok %s (%s)\n", name.c_str(), note.c_str());
    } else {
        std::printf("FAIL %s: %s\n", name.c_str(), why.c_str());
        ++failures;
    }
    std::fflush(stdout);
}

void Skip(const std::string& name, const std::string& why) {
    std::printf("skip %s: %s\n", name.c_str(), why.c_str());
    std::fflush(stdout);
}

int Failures() {
    return failures;
}

int Bulk(unsigned endpoint, std::uint8_t* data, std::size_t length, unsigned timeoutMs) {
    usbdevfs_bulktransfer t{};
    t.ep = endpoint;
    t.len = static_cast<unsigned>(length);
    t.timeout = timeoutMs;
    t.data = data;
    const int n = ioctl(fd, USBDEVFS_BULK, &t);
    return n < 0 ? -errno : n;
}

int Control(std::uint8_t type, std::uint8_t request, std::uint16_t value, std::uint16_t index,
            std::uint8_t* data, std::uint16_t length) {
    usbdevfs_ctrltransfer c{};
    c.bRequestType = type;
    c.bRequest = request;
    c.wValue = value;
    c.wIndex = index;
    c.wLength = length;
    c.timeout = kTimeoutMs;
    c.data = data;
    const int n = ioctl(fd, USBDEVFS_CONTROL, &c);
    return n < 0 ? -errno : n;
}

bool ClearHalt(unsigned endpoint) {
    return ioctl(fd, USBDEVFS_CLEAR_HALT, &endpoint) == 0;
}

int Halted(unsigned endpoint) {
    std::uint8_t status[2] = {};
    const int n = Control(0x82, 0x00, 0, static_cast<std::uint16_t>(endpoint), status, 2);
    return n == 2 ? (status[0] & 1) : -1;
}

bool ResetRecovery() {
    return Control(0x21, 0xFF, 0, 0, nullptr, 0) == 0 && ClearHalt(kIn) && ClearHalt(kOut);
}

Bytes Wrapper(std::uint32_t tag, std::uint32_t length, bool in, std::uint8_t lun, const Bytes& cb) {
    Bytes w(31, 0);
    const std::uint32_t fields[3] = {0x43425355, tag, length};
    for (int f = 0; f < 3; ++f)
        for (int i = 0; i < 4; ++i) w[4 * f + i] = static_cast<std::uint8_t>(fields[f] >> (8 * i));
    w[12] = in ? 0x80 : 0;
    w[13] = lun;
    w[14] = static_cast<std::uint8_t>(cb.size());
    std::copy_n(cb.begin(), std::min<std::size_t>(cb.size(), 16), w.begin() + 15);
    return w;
}

Status ReadStatus(unsigned timeoutMs) {
    Bytes csw(13);
    Status s;
    int n = Bulk(kIn, csw.data(), csw.size(), timeoutMs);
    if (n == -EPIPE) {
        s.halted = true;
        if (ClearHalt(kIn)) n = Bulk(kIn, csw.data(), csw.size(), timeoutMs);
    }
    if (n != 13 || csw[0] != 0x55 || csw[1] != 0x53 || csw[2] != 0x42 || csw[3] != 0x53) return s;
    s.valid = true;
    s.tag = csw[4] | csw[5] << 8 | csw[6] << 16 | static_cast<std::uint32_t>(csw[7]) << 24;
    s.residue = csw[8] | csw[9] << 8 | csw[10] << 16 | static_cast<std::uint32_t>(csw[11]) << 24;
    s.status = csw[12];
    return s;
}

std::string Describe(const Status& s) {
    if (!s.valid) return s.halted ? "bulk-in halted, no status" : "no status";
    char text[80];
    std::snprintf(text, sizeof text, "%sstatus=%u residue=%u tag=%u",
                  s.halted ? "bulk-in halted, " : "", s.status, s.residue, s.tag);
    return text;
}

Status CommandIn(std::uint8_t lun, std::uint32_t length, const Bytes& cb, Bytes* data) {
    Bytes w = Wrapper(nextTag++, length, true, lun, cb);
    if (Bulk(kOut, w.data(), w.size()) != 31) return {};
    Bytes buffer(length);
    const int n = length ? Bulk(kIn, buffer.data(), buffer.size()) : 0;
    if (data != nullptr) buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0), *data = buffer;
    Status s = ReadStatus();
    // A halt met by the data phase is the one the status read cleared.
    if (n == -EPIPE) s.halted = true;
    return s;
}

Status CommandOut(std::uint8_t lun, std::uint32_t length, const Bytes& cb, std::size_t offered,
                  bool& halted) {
    Bytes w = Wrapper(nextTag++, length, false, lun, cb);
    halted = false;
    if (Bulk(kOut, w.data(), w.size()) != 31) return {};
    Bytes data(65536, 0x5A);
    for (std::size_t sent = 0; sent < offered;) {
        const std::size_t n = std::min<std::size_t>(offered - sent, data.size());
        const int moved = Bulk(kOut, data.data(), n);
        if (moved == -EPIPE) {
            halted = true;
            ClearHalt(kOut);
            break;
        }
        if (moved <= 0) return {};
        sent += static_cast<std::size_t>(moved);
    }
    return ReadStatus();
}

const Bytes kInquiry = {0x12, 0, 0, 0, 36, 0};

bool Alive(std::uint8_t lun) {
    const std::uint32_t tag = nextTag;
    const Status s = CommandIn(lun, 36, kInquiry);
    return s.valid && s.tag == tag && s.status == 0 && s.residue == 0;
}

}  // namespace bot
