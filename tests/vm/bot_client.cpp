// A host of its own for the virtual reader, in the guest: it takes the
// device's interface from usb-storage through usbfs and tries what the
// Bulk-Only Transport requires and what a hostile host does. One line per
// check ("ok NAME", "skip NAME: why" or "FAIL NAME: why"); exit status 1 when
// any failed. The interface goes back to usb-storage at the end. With "disk"
// it tries the kernel's own mass-storage function instead, as a reference:
// the checks with the reader's own commands are skipped, and where devices
// may answer differently the line says what this one did.
// Usage: usbisp-bot-client VID:PID UNITS [disk]
#include <dirent.h>
#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "bot_cases.h"
#include "bot_host.h"

namespace {

using namespace bot;

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
    bool outHalted = false;
    const Status s = CommandOut(0, length, cb, offered, outHalted);
    halted = outHalted ? 1 : 0;
    return s;
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

// A unit the device lacks: the reader answers a phase error; the kernel's
// function answers INQUIRY for it with "no device here" (0x7F).
void UnitLacking(const Target& target, int units) {
    Bytes data;
    const std::uint32_t tag = nextTag;
    const Status s = CommandIn(static_cast<std::uint8_t>(units), 36, kInquiry, &data);
    const bool phaseError = s.valid && s.tag == tag && s.status == 2;
    const bool noDevice =
        s.valid && s.tag == tag && s.status == 0 && !data.empty() && data[0] == 0x7F;
    Check(phaseError || (!target.reader && noDevice), "a unit the device lacks", Describe(s),
          phaseError ? "phase error" : "INQUIRY answers 0x7F, no device");
    Check(ResetRecovery() && Alive(), "reset recovery after it");
}

// A wrapper one byte short: bulk-in halts and stays halted, whatever the
// host clears, until the reset. The reader halts bulk-out too and keeps it
// so; a device may instead take and drop what comes until the reset.
void HaltHeld(const Target& target) {
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
    const bool outHalted = Halted(kOut) == 1;
    bool dropped = false;
    if (!outHalted && !target.reader) {
        // A valid wrapper now is not a command: bulk-in stays halted.
        Bytes w = Wrapper(nextTag++, 36, true, 0, kInquiry);
        dropped = Bulk(kOut, w.data(), w.size()) == 31 && Halted(kIn) == 1 &&
                  Bulk(kIn, csw.data(), csw.size()) == -EPIPE;
    }
    Check(outHalted || dropped, "bulk-out through a clear-halt until the reset",
          "neither halted nor dropping",
          outHalted ? "halted again" : "not halted, what comes is dropped");
    Check(ResetRecovery() && Alive(), "reset recovery ends the halt");
}

// The host's length 0xFFFFFFFF on a command of one block out; the host
// offers a block more than the command takes.
void LengthBeyondAll(const Target& target) {
    const std::uint32_t tag = nextTag;
    bool halted = false;
    const Status s = CommandOut(0, 0xFFFFFFFFu, target.DataOut(1), 1024, halted);
    const bool refused =
        s.valid && s.tag == tag && s.status != 2 && s.residue == 0xFFFFFFFFu - 512 && halted;
    // The kernel's function cannot halt bulk-out there: it waits for the
    // rest, and the host ends the command with the reset.
    const bool waits = !target.reader && !s.valid && !halted;
    ResetRecovery();
    Check((refused || waits) && Alive(),
          "0xFFFFFFFF bytes declared for one block (" + target.DataOutName() + ")", Describe(s),
          refused ? "the rest refused with a halt" : "waits for the rest until the reset");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4 || std::strlen(argv[1]) != 9 || argv[1][4] != ':' ||
        (argc == 4 && std::strcmp(argv[3], "disk") != 0)) {
        std::fprintf(stderr, "usage: usbisp-bot-client VID:PID UNITS [disk]\n");
        return 2;
    }
    Target target;
    target.reader = argc == 3;
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
    UnitLacking(target, units);
    HaltHeld(target);
    InvalidWrappers();
    NotMeaningfulWrappers(target);
    Tags();
    ThirteenCases(target);

    // A reset in the middle of a data phase.
    {
        Bytes w = Wrapper(nextTag++, 1024, false, 0, target.DataOut(2));
        Bytes half(512, 0x5A);
        const bool sent =
            Bulk(kOut, w.data(), w.size()) == 31 && Bulk(kOut, half.data(), half.size()) == 512;
        Check(sent && ResetRecovery() && Alive(), "reset in the middle of a data phase");
    }
    LengthBeyondAll(target);
    if (target.reader) {
        HostileLengths();
    } else {
        Skip("hostile lengths: IspVerify NB 0 to 255, as declared and 0xFFFFFFFF",
             "IspVerify is the reader's own command");
    }
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
    return Failures() == 0 ? 0 : 1;
}
