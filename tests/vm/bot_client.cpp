// A host of its own for the virtual reader, in the guest: it takes the
// reader's interface from usb-storage through usbfs and tries what the
// Bulk-Only Transport requires and what a hostile host does. One line per
// check ("ok NAME" or "FAIL NAME: why"); exit status 1 when any failed. The
// interface goes back to usb-storage at the end.
// Usage: usbisp-bot-client VID:PID UNITS
#include <dirent.h>
#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr unsigned kIn = 0x81, kOut = 0x02;  // the reader's bulk endpoints
constexpr unsigned kTimeoutMs = 2000;
int fd = -1;
int failures = 0;
std::uint32_t nextTag = 1;

void Check(bool ok, const std::string& name, const std::string& why = "") {
    if (ok) {
        std::printf("ok %s\n", name.c_str());
    } else {
        std::printf("FAIL %s: %s\n", name.c_str(), why.c_str());
        ++failures;
    }
    std::fflush(stdout);
}

std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    return text;
}

// The usbfs node of the first device with these identifiers.
std::string FindDevice(const std::string& vid, const std::string& pid) {
    DIR* dir = opendir("/sys/bus/usb/devices");
    std::string node;
    while (dir != nullptr && node.empty()) {
        const dirent* entry = readdir(dir);
        if (entry == nullptr) break;
        const std::string base = std::string("/sys/bus/usb/devices/") + entry->d_name;
        if (Read(base + "/idVendor") == vid && Read(base + "/idProduct") == pid) {
            char path[64];
            std::snprintf(path, sizeof path, "/dev/bus/usb/%03d/%03d",
                          std::atoi(Read(base + "/busnum").c_str()),
                          std::atoi(Read(base + "/devnum").c_str()));
            node = path;
        }
    }
    if (dir != nullptr) closedir(dir);
    return node;
}

// A bulk transfer: the bytes moved, or -errno (-EPIPE: the pipe halted).
int Bulk(unsigned endpoint, std::uint8_t* data, std::size_t length) {
    usbdevfs_bulktransfer t{};
    t.ep = endpoint;
    t.len = static_cast<unsigned>(length);
    t.timeout = kTimeoutMs;
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

// Whether the endpoint reports itself halted (GET_STATUS).
int Halted(unsigned endpoint) {
    std::uint8_t status[2] = {};
    const int n = Control(0x82, 0x00, 0, static_cast<std::uint16_t>(endpoint), status, 2);
    return n == 2 ? (status[0] & 1) : -1;
}

// Bulk-Only Mass Storage Reset and the clear-halts after it.
bool ResetRecovery() {
    return Control(0x21, 0xFF, 0, 0, nullptr, 0) == 0 && ClearHalt(kIn) && ClearHalt(kOut);
}

Bytes Wrapper(std::uint32_t tag, std::uint32_t length, bool in, std::uint8_t lun, Bytes cb) {
    Bytes w(31, 0);
    const std::uint32_t fields[3] = {0x43425355, tag, length};
    for (int f = 0; f < 3; ++f)
        for (int i = 0; i < 4; ++i) w[4 * f + i] = static_cast<std::uint8_t>(fields[f] >> (8 * i));
    w[12] = in ? 0x80 : 0;
    w[13] = lun;
    w[14] = static_cast<std::uint8_t>(cb.size());
    std::copy(cb.begin(), cb.end(), w.begin() + 15);
    return w;
}

struct Status {
    bool valid = false;
    std::uint32_t tag = 0, residue = 0;
    std::uint8_t status = 0xFF;
};

// The status wrapper; a halted bulk-in is cleared once first, as a host does.
Status ReadStatus() {
    Bytes csw(13);
    int n = Bulk(kIn, csw.data(), csw.size());
    if (n == -EPIPE && ClearHalt(kIn)) n = Bulk(kIn, csw.data(), csw.size());
    Status s;
    if (n != 13 || csw[0] != 0x55 || csw[1] != 0x53 || csw[2] != 0x42 || csw[3] != 0x53) return s;
    s.valid = true;
    s.tag = csw[4] | csw[5] << 8 | csw[6] << 16 | static_cast<std::uint32_t>(csw[7]) << 24;
    s.residue = csw[8] | csw[9] << 8 | csw[10] << 16 | static_cast<std::uint32_t>(csw[11]) << 24;
    s.status = csw[12];
    return s;
}

std::string Describe(const Status& s) {
    char text[80];
    std::snprintf(text, sizeof text, "valid=%d tag=%u residue=%u status=%u", s.valid, s.tag,
                  s.residue, s.status);
    return text;
}

// A command with data in of `length`: the data taken as it comes, then the
// status.
Status CommandIn(std::uint8_t lun, std::uint32_t length, const Bytes& cb, Bytes* data = nullptr) {
    Bytes w = Wrapper(nextTag++, length, true, lun, cb);
    if (Bulk(kOut, w.data(), w.size()) != 31) return {};
    Bytes buffer(length);
    const int n = length ? Bulk(kIn, buffer.data(), buffer.size()) : 0;
    if (data != nullptr) buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0), *data = buffer;
    return ReadStatus();
}

const Bytes kInquiry = {0x12, 0, 0, 0, 36, 0};

bool Alive(std::uint8_t lun = 0) {
    const std::uint32_t tag = nextTag;
    const Status s = CommandIn(lun, 36, kInquiry);
    return s.valid && s.tag == tag && s.status == 0 && s.residue == 0;
}

// IspVerify of `blocks` blocks (the reader is not in ISP mode: the command
// fails after its data) with the host's length `length`: the host offers
// `offered` bytes in transfers of at most 64 KiB, then reads the status.
Status Verify(std::uint32_t blocks, std::uint32_t length, std::size_t offered, int& halted) {
    const std::uint32_t bytes = blocks ? std::min(blocks * 512, 65535u) : 0;
    const Bytes cb = {0x06,
                      0xB2,
                      0x01,
                      0x00,
                      static_cast<std::uint8_t>(bytes & 0xFF),
                      static_cast<std::uint8_t>(bytes >> 8),
                      static_cast<std::uint8_t>(blocks),
                      0,
                      0,
                      0,
                      0,
                      0};
    Bytes w = Wrapper(nextTag++, length, false, 0, cb);
    if (Bulk(kOut, w.data(), w.size()) != 31) return {};
    Bytes data(65536, 0x5A);
    halted = 0;
    for (std::size_t sent = 0; sent < offered;) {
        const std::size_t n = std::min<std::size_t>(offered - sent, data.size());
        const int moved = Bulk(kOut, data.data(), n);
        if (moved == -EPIPE) {
            halted = 1;
            ClearHalt(kOut);
            break;
        }
        if (moved <= 0) return {};
        sent += static_cast<std::size_t>(moved);
    }
    return ReadStatus();
}

void HostileLengths() {
    int failed = 0;
    std::string first;
    for (std::uint32_t blocks = 0; blocks <= 255; ++blocks) {
        for (std::uint32_t length : {blocks * 512, 0xFFFFFFFFu}) {
            if (length == 0) continue;
            const bool fits = blocks >= 1 && blocks <= 128;
            // A host offers what it declared, and one packet more where it
            // declared more than the device takes (there it meets the halt).
            const std::size_t offered =
                fits ? std::min<std::size_t>(length, blocks * 512 + 512) : 512;
            const std::uint32_t tag = nextTag;
            int halted = 0;
            const Status s = Verify(blocks, length, offered, halted);
            const std::uint32_t taken = fits ? blocks * 512 : 0;
            const bool ok = s.valid && s.tag == tag && s.status == 1 &&
                            s.residue == length - taken && halted == (length > taken) && Alive();
            if (!ok && failed++ == 0)
                first = "NB=" + std::to_string(blocks) + " length=" + std::to_string(length) +
                        " halted=" + std::to_string(halted) + " " + Describe(s);
        }
    }
    Check(failed == 0, "hostile lengths: IspVerify NB 0 to 255, as declared and 0xFFFFFFFF",
          std::to_string(failed) + " wrong, first " + first);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || std::strlen(argv[1]) != 9 || argv[1][4] != ':') {
        std::fprintf(stderr, "usage: usbisp-bot-client VID:PID UNITS\n");
        return 2;
    }
    const std::string id = argv[1];
    const int units = std::atoi(argv[2]);
    const std::string node = FindDevice(id.substr(0, 4), id.substr(5));
    fd = node.empty() ? -1 : open(node.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "usbisp-bot-client: no device %s\n", argv[1]);
        return 1;
    }
    usbdevfs_disconnect_claim claim{};
    claim.interface = 0;
    if (ioctl(fd, USBDEVFS_DISCONNECT_CLAIM, &claim) != 0) {
        std::fprintf(stderr, "usbisp-bot-client: cannot claim the interface: %s\n",
                     std::strerror(errno));
        return 1;
    }

    std::uint8_t maxLun = 0xFF;
    Check(Control(0xA1, 0xFE, 0, 0, &maxLun, 1) == 1 && maxLun == units - 1, "Get Max LUN",
          "answered " + std::to_string(maxLun));
    for (int lun = 0; lun < units; ++lun) {
        Bytes data;
        const std::uint32_t tag = nextTag;
        const Status s = CommandIn(static_cast<std::uint8_t>(lun), 36, kInquiry, &data);
        Check(s.valid && s.tag == tag && s.status == 0 && data.size() == 36,
              "INQUIRY of unit " + std::to_string(lun), Describe(s));
    }
    // A unit the reader lacks: a phase error.
    const Status lacking = CommandIn(static_cast<std::uint8_t>(units), 36, kInquiry);
    Check(lacking.valid && lacking.status == 2, "a unit the reader lacks", Describe(lacking));
    Check(ResetRecovery() && Alive(), "reset recovery after the phase error");

    // A wrapper one byte short: both pipes halt and stay halted, whatever
    // the host clears, until the reset.
    Bytes shortWrapper = Wrapper(nextTag++, 36, true, 0, kInquiry);
    shortWrapper.pop_back();
    Bulk(kOut, shortWrapper.data(), shortWrapper.size());
    Bytes csw(13);
    Check(Bulk(kIn, csw.data(), csw.size()) == -EPIPE, "an invalid wrapper halts bulk-in");
    bool held = true;
    for (int round = 0; round < 5; ++round) {
        ClearHalt(kIn);
        usleep(20000);
        held = held && Halted(kIn) == 1 && Bulk(kIn, csw.data(), csw.size()) == -EPIPE;
    }
    Check(held, "bulk-in stays halted through clear-halts until the reset");
    ClearHalt(kOut);
    usleep(20000);
    Check(Halted(kOut) == 1, "bulk-out stays halted through a clear-halt until the reset");
    Check(ResetRecovery() && Alive(), "reset recovery ends the halt");

    // A reset in the middle of a data phase.
    {
        Bytes w = Wrapper(nextTag++, 1024, false, 0,
                          {0x06, 0xB2, 0x01, 0x00, 0xE8, 0x03, 0x02, 0, 0, 0, 0, 0});
        Bytes half(512, 0x5A);
        const bool sent =
            Bulk(kOut, w.data(), w.size()) == 31 && Bulk(kOut, half.data(), half.size()) == 512;
        Check(sent && ResetRecovery() && Alive(), "reset in the middle of a data phase");
    }
    HostileLengths();
    for (int lun = 0; lun < units; ++lun)
        Check(Alive(static_cast<std::uint8_t>(lun)),
              "alive at the end, unit " + std::to_string(lun));

    // The interface back to usb-storage.
    unsigned interface = 0;
    ioctl(fd, USBDEVFS_RELEASEINTERFACE, &interface);
    usbdevfs_ioctl connect{};
    connect.ifno = 0;
    connect.ioctl_code = USBDEVFS_CONNECT;
    ioctl(fd, USBDEVFS_IOCTL, &connect);
    close(fd);
    return failures == 0 ? 0 : 1;
}
