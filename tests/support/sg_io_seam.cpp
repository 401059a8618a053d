#include "support/sg_io_seam.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <sstream>

#include "platform/byte_order.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/scsi_nodes.h"
#include "platform/sim/bench_file.h"
#include "platform/win_constants.h"

namespace usbisp::test {

namespace {

constexpr std::uint32_t kHeader = 44;
constexpr std::uint32_t kSenseOffset = 48;
constexpr std::uint16_t kDidError = 0x07;     // the host adapter's "internal error"
constexpr std::uint16_t kDriverSense = 0x08;  // sense data came with the status

// What the kernel would refuse, or what the Linux layer must never send.
std::string Malformed(const sg_io_hdr_t& io) {
    if (io.interface_id != 'S') return "interface_id is not 'S'";
    if (io.dxfer_direction != SG_DXFER_NONE && io.dxfer_direction != SG_DXFER_TO_DEV &&
        io.dxfer_direction != SG_DXFER_FROM_DEV)
        return "dxfer_direction " + std::to_string(io.dxfer_direction);
    if ((io.dxfer_direction == SG_DXFER_NONE) != (io.dxfer_len == 0))
        return "SG_DXFER_NONE goes with dxfer_len 0 and only with it, not " +
               std::to_string(io.dxfer_len);
    if (io.dxfer_len > 65536) return "dxfer_len " + std::to_string(io.dxfer_len);
    if ((io.dxferp == nullptr) != (io.dxfer_len == 0)) return "dxferp does not match dxfer_len";
    if (io.iovec_count != 0 || io.flags != 0) return "scatter lists or flags";
    if (io.cmd_len < 6 || io.cmd_len > 16 || io.cmdp == nullptr)
        return "cmd_len " + std::to_string(io.cmd_len);
    if (io.mx_sb_len > 0 && io.sbp == nullptr) return "mx_sb_len without a sense buffer";
    if (io.timeout % 1000 != 0 || io.timeout < 1000 || io.timeout > 108000000)
        return "timeout " + std::to_string(io.timeout) + " ms is not whole seconds, 1 s to 30 h";
    return {};
}

// The kernel's name of the n-th SCSI disk after the system's own: sdb, sdc,
// ..., sdz, sdaa, ...
std::string DiskName(int n) {
    std::string name;
    for (int index = n + 1; index >= 0; index = index / 26 - 1)
        name.insert(name.begin(), static_cast<char>('a' + index % 26));
    return "sd" + name;
}

// The commands sg lets through on a descriptor opened read only when the
// process lacks CAP_SYS_RAWIO (of those the program sends: INQUIRY).
bool ReadSafe(std::uint8_t opcode) {
    return opcode == 0x12;
}

}  // namespace

bool BenchSgDriver::Gone() const {
    return goneFromRequest > 0 && static_cast<int>(requests.size()) >= goneFromRequest;
}

int BenchSgDriver::CheckAccess(const std::string& device) {
    auto staged = nodes.find(device);
    if (staged != nodes.end()) return -staged->second.error;
    if (!devices_.count(device) || missing.count(device)) return -ENOENT;
    return noAccess.count(device) ? -EACCES : 0;
}

int BenchSgDriver::Open(const std::string& device, bool write) {
    auto it = devices_.find(device);
    if (it == devices_.end() || Gone()) return -ENODEV;
    if (noAccess.count(device)) return -EACCES;
    const std::string path = std::string("\\\\.\\") + it->second + ":";
    const std::uint32_t access = win::kGenericRead | (write ? win::kGenericWrite : 0);
    const Handle handle = bench_.CreateFileA(
        path.c_str(), access, win::kFileShareRead | win::kFileShareWrite, win::kOpenExisting, 0);
    // The bench's `failures` of an open: the device does not answer.
    if (handle == kInvalidHandle) return -ENXIO;
    open_[nextFd_] = {handle, write};
    opened.push_back(device);
    return nextFd_++;
}

lnx::NodeInfo BenchSgDriver::Stat(const std::string& path) {
    auto staged = nodes.find(path);
    if (staged != nodes.end()) return staged->second;
    lnx::NodeInfo info;
    if (!devices_.count(path) || missing.count(path)) {
        info.error = ENOENT;
        return info;
    }
    info.character = true;
    info.major = lnx::kSgMajor;
    info.minor = static_cast<unsigned>(std::stoul(path.substr(path.find("sg") + 2)));
    return info;
}

int BenchSgDriver::ProbeExclusive(const std::string& blockDevice) {
    probes.push_back(blockDevice);
    return held.count(blockDevice) ? -EBUSY : 0;
}

int BenchSgDriver::Io(int fd, sg_io_hdr_t& io) {
    requests.push_back(io);
    commands.emplace_back(io.cmdp, io.cmdp + (io.cmdp ? io.cmd_len : 0));
    sigset_t mask;
    pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    signalsHeld.push_back(sigismember(&mask, SIGWINCH) && sigismember(&mask, SIGTSTP) &&
                          sigismember(&mask, SIGTTIN) && sigismember(&mask, SIGTTOU));
    auto it = open_.find(fd);
    if (it == open_.end()) return -EBADF;
    if (Gone()) return -ENODEV;
    const std::string malformed = Malformed(io);
    if (!malformed.empty()) {
        ADD_FAILURE() << "sg_io_hdr: " << malformed;
        return io.cmd_len < 6 ? -EMSGSIZE : -EINVAL;
    }
    if (maxSectors > 0 && io.dxfer_len > maxSectors * 512) return -EINVAL;
    const std::uint8_t opcode = io.cmdp[0];
    if (withoutRawio && !it->second.write && !ReadSafe(opcode)) return -EPERM;

    // The request a Windows program would have sent: header, sense area, data.
    const std::uint32_t dataOffset =
        std::max<std::uint32_t>(80, (kSenseOffset + io.mx_sb_len + 7) / 8 * 8);
    std::vector<std::uint8_t> record(dataOffset + io.dxfer_len, 0);
    PutLe16(&record[0], kHeader);
    record[4] = 1;  // TargetId, as the program fills it
    record[6] = io.cmd_len;
    record[7] = io.mx_sb_len;
    record[8] = io.dxfer_direction == SG_DXFER_TO_DEV ? 0 : 1;
    PutLe32(&record[12], io.dxfer_len);
    PutLe32(&record[16], io.timeout / 1000);
    PutLe32(&record[20], dataOffset);
    PutLe32(&record[24], kSenseOffset);
    std::copy(io.cmdp, io.cmdp + io.cmd_len, &record[28]);
    const bool out = io.dxfer_direction == SG_DXFER_TO_DEV;
    if (out) {
        const auto* data = static_cast<const std::uint8_t*>(io.dxferp);
        std::copy(data, data + io.dxfer_len, &record[dataOffset]);
    }
    std::uint32_t returned = 0;
    const auto size = static_cast<std::uint32_t>(record.size());
    const bool ok =
        bench_.DeviceIoControl(it->second.handle, win::kIoctlScsiPassThrough, record.data(),
                               out ? size : kHeader, record.data(), size, &returned);
    io.host_status = 0;
    io.driver_status = 0;
    io.sb_len_wr = 0;
    io.resid = 0;
    io.info = 0;
    if (!ok) {
        io.host_status = kDidError;
        io.info = SG_INFO_CHECK;
        return 0;
    }
    io.status = record[2];
    io.masked_status = static_cast<unsigned char>((io.status >> 1) & 0x7F);
    if (io.dxfer_direction == SG_DXFER_FROM_DEV) {
        const std::uint32_t moved = std::min(GetLe32(&record[12]), io.dxfer_len);
        std::copy(&record[dataOffset], &record[dataOffset] + moved,
                  static_cast<std::uint8_t*>(io.dxferp));
        io.resid = static_cast<int>(io.dxfer_len - moved);
    }
    // SenseInfoLength comes back as the number of sense bytes delivered.
    io.sb_len_wr = std::min(record[7], io.mx_sb_len);
    if (io.sb_len_wr > 0) {
        std::copy(&record[kSenseOffset], &record[kSenseOffset] + io.sb_len_wr, io.sbp);
        io.driver_status = kDriverSense;
    }
    if (usbStorageEmptySense && io.status == 0x02 && io.sb_len_wr == 0 && io.mx_sb_len >= 18) {
        // The device's REQUEST SENSE said NO SENSE; usb-storage stamps the
        // key HARDWARE ERROR into it and fails the command to the host.
        const std::uint8_t sense[18] = {0x70, 0, 0x04, 0, 0, 0, 0, 0x0A};
        std::copy(sense, sense + 18, io.sbp);
        io.sb_len_wr = 18;
        io.status = 0;
        io.masked_status = 0;
        io.host_status = kDidError;
        io.driver_status = kDriverSense;
    }
    if (io.status != 0 || io.sb_len_wr > 0 || io.host_status != 0) io.info = SG_INFO_CHECK;
    return 0;
}

void BenchSgDriver::Close(int fd) {
    auto it = open_.find(fd);
    if (it == open_.end()) {
        ADD_FAILURE() << "close of a descriptor that is not open: " << fd;
        return;
    }
    bench_.CloseHandle(it->second.handle);
    open_.erase(it);
}

SeamRun RunThroughSgIo(const script::HeadlessOptions& options,
                       const std::function<void(SeamMachine&)>& setUp) {
    SeamRun run;
    std::string error;
    auto config = sim::LoadBenchFile(options.benchPath, error);
    if (!config) {
        ADD_FAILURE() << error;
        return run;
    }
    EXPECT_EQ(config->windows, "xp") << "the Linux layer reports Windows XP";
    // Which reader (and which of its units) stands behind each letter; -1:
    // a plain disk.
    std::map<char, std::pair<int, int>> units;
    for (std::size_t r = 0; r < config->readers.size(); ++r)
        for (std::size_t u = 0; u < config->readers[r].letters.size(); ++u)
            units[config->readers[r].letters[u]] = {static_cast<int>(r), static_cast<int>(u)};
    const std::size_t readerCount = config->readers.size();
    // The bench's own events have no place in this transcript: the Linux
    // layer writes them.
    sim::Bench bench(std::move(*config), options.directory, {}, false);

    // The bench's letters as sg devices, in letter order.
    std::map<std::string, char> devices;
    std::vector<char> letters;
    const std::uint32_t mask = bench.GetLogicalDrives();
    for (int bit = 2; bit < 26; ++bit) {
        if ((mask & (1u << bit)) == 0) continue;
        const char letter = static_cast<char>('A' + bit);
        devices["/dev/sg" + std::to_string(letters.size())] = letter;
        letters.push_back(letter);
    }
    TempDir root;
    FakeSysfs sysfs(root.path());
    int nextSg = 0;
    int nextHost = 6;
    std::map<char, int> sgOf;
    for (std::size_t i = 0; i < letters.size(); ++i) sgOf[letters[i]] = static_cast<int>(i);
    auto plugReaders = [&](const std::map<char, int>& numbers) {
        std::vector<std::vector<FakeSysfs::Unit>> readers(readerCount);
        for (const auto& [letter, number] : numbers) {
            auto it = units.find(letter);
            if (it == units.end()) continue;
            auto& unitsOf = readers[static_cast<std::size_t>(it->second.first)];
            unitsOf.resize(
                std::max(unitsOf.size(), static_cast<std::size_t>(it->second.second) + 1));
            unitsOf[static_cast<std::size_t>(it->second.second)] = {number, "0",   DiskName(number),
                                                                    {},     false, 240};
        }
        for (std::size_t r = 0; r < readerCount; ++r)
            sysfs.AddUsbReader(1, "1-" + std::to_string(r + 1), nextHost++, readers[r]);
    };
    plugReaders(sgOf);
    for (const auto& [letter, number] : sgOf)
        if (!units.count(letter))
            sysfs.AddSataDisk(number + 1, nextHost++, {number, "0", "", {}, false, 240});
    nextSg = static_cast<int>(letters.size());

    BenchSgDriver sg(bench, devices);
    BenchClock clock(bench);
    SeamMachine machine{bench, sg, clock, sysfs, false, false, false, {}};
    machine.Replug = [&] {
        bench.Replug();
        std::map<char, int> renumbered;
        for (std::size_t r = 0; r < readerCount; ++r) sysfs.Unplug(1, "1-" + std::to_string(r + 1));
        for (auto& [letter, number] : sgOf) {
            if (!units.count(letter)) continue;
            sg.Detach("/dev/sg" + std::to_string(number));
            number = nextSg++;
            sg.Attach("/dev/sg" + std::to_string(number), letter);
            renumbered[letter] = number;
        }
        plugReaders(renumbered);
    };
    if (setUp) setUp(machine);
    std::istringstream in;
    std::ostringstream out, err;
    if (machine.closedOutput) out.setstate(std::ios::badbit);
    std::size_t replugs = 0;
    if (machine.replugWhenAsked) {
        clock.onWait = [&] {
            std::size_t asked = 0;
            const std::string said = err.str();
            for (auto at = said.find("unplug the readers"); at != std::string::npos;
                 at = said.find("unplug the readers", at + 1))
                ++asked;
            if (asked > replugs) {
                ++replugs;
                machine.Replug();
            }
        };
    }

    // Each letter bound to its unit's place, as the layer finds them.
    std::vector<lnx::LinuxDrive> drives;
    for (const lnx::ScsiNode& node : lnx::ScanScsiGeneric(sysfs.Paths()).nodes) {
        auto it = devices.find(node.node);
        if (it != devices.end())
            drives.push_back({it->second, node.node, node.place, node.readerName});
    }
    std::sort(drives.begin(), drives.end(), [](const lnx::LinuxDrive& a, const lnx::LinuxDrive& b) {
        return a.letter < b.letter;
    });
    script::RealMachine real{sg, clock, drives, sysfs.Paths(), machine.findReaders};
    script::HeadlessOptions realOptions = options;
    realOptions.real = true;
    realOptions.afterRealRun = [&run, &bench](const lnx::LinuxPlatform& platform) {
        run.handlesLeft = platform.openHandleCount();
        run.benchHandlesLeft = bench.openHandleCount();
    };
    run.exitCode = script::RunHeadlessReal(realOptions, real, in, out, err);
    run.transcript = out.str();
    run.errors = err.str();
    run.requests = sg.requests;
    run.commands = sg.commands;
    run.signalsHeld = sg.signalsHeld;
    run.probes = sg.probes;
    run.opened = sg.opened;
    return run;
}

std::string AsOnTheBench(const std::string& transcript) {
    std::string bench;
    for (const std::string& line : Lines(transcript)) {
        std::string kept = line;
        for (const char* prefix : {"open: ", "sg: ", "host adapter: ", "driver: "}) {
            const auto at = kept.find(std::string(" reason=\"") + prefix);
            if (line.rfind("io ", 0) == 0 && at != std::string::npos) kept.erase(at);
        }
        bench += kept + "\n";
    }
    return bench;
}

}  // namespace usbisp::test
