#include "support/sg_io_seam.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <sstream>

#include "platform/byte_order.h"
#include "platform/linux/linux_platform.h"
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
    if (io.cmd_len < 1 || io.cmd_len > 16 || io.cmdp == nullptr)
        return "cmd_len " + std::to_string(io.cmd_len);
    if (io.mx_sb_len > 0 && io.sbp == nullptr) return "mx_sb_len without a sense buffer";
    if (io.timeout % 1000 != 0 || io.timeout < 1000 || io.timeout > 108000000)
        return "timeout " + std::to_string(io.timeout) + " ms is not whole seconds, 1 s to 30 h";
    return {};
}

}  // namespace

bool BenchSgDriver::Gone() const {
    return goneFromRequest > 0 && static_cast<int>(requests.size()) >= goneFromRequest;
}

int BenchSgDriver::CheckAccess(const std::string& device) {
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
    open_[nextFd_] = handle;
    return nextFd_++;
}

int BenchSgDriver::Io(int fd, sg_io_hdr_t& io) {
    requests.push_back(io);
    commands.emplace_back(io.cmdp, io.cmdp + (io.cmdp ? io.cmd_len : 0));
    auto it = open_.find(fd);
    if (it == open_.end()) return -EBADF;
    if (Gone()) return -ENODEV;
    const std::string malformed = Malformed(io);
    if (!malformed.empty()) {
        ADD_FAILURE() << "sg_io_hdr: " << malformed;
        return -EINVAL;
    }
    const std::uint8_t opcode = io.cmdp[0];
    if (vendorCommandsRefused && opcode != 0x12) return -EPERM;

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
    const bool ok = bench_.DeviceIoControl(it->second, win::kIoctlScsiPassThrough, record.data(),
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
    if (io.status != 0 || io.sb_len_wr > 0) io.info = SG_INFO_CHECK;
    return 0;
}

void BenchSgDriver::Close(int fd) {
    auto it = open_.find(fd);
    if (it == open_.end()) {
        ADD_FAILURE() << "close of a descriptor that is not open: " << fd;
        return;
    }
    bench_.CloseHandle(it->second);
    open_.erase(it);
}

SeamRun RunThroughSgIo(const script::HeadlessOptions& options,
                       const std::function<void(BenchSgDriver&)>& setUp) {
    SeamRun run;
    std::string error;
    auto config = sim::LoadBenchFile(options.benchPath, error);
    if (!config) {
        ADD_FAILURE() << error;
        return run;
    }
    EXPECT_EQ(config->windows, "xp") << "the Linux layer reports Windows XP";
    // The bench's own events have no place in this transcript: the Linux
    // layer writes them.
    sim::Bench bench(std::move(*config), options.directory, {}, false);
    std::map<std::string, char> devices;
    std::vector<lnx::LinuxDrive> drives;
    const std::uint32_t mask = bench.GetLogicalDrives();
    for (int bit = 2; bit < 26; ++bit) {
        if ((mask & (1u << bit)) == 0) continue;
        const std::string device = "/dev/sg" + std::to_string(drives.size());
        devices[device] = static_cast<char>('A' + bit);
        drives.push_back({static_cast<char>('A' + bit), device});
    }
    BenchSgDriver sg(bench, devices);
    if (setUp) setUp(sg);
    BenchClock clock(bench);
    script::RealMachine machine{sg, clock, drives};
    script::HeadlessOptions real = options;
    real.real = true;
    real.afterRealRun = [&run, &bench](const lnx::LinuxPlatform& platform) {
        run.handlesLeft = platform.openHandleCount();
        run.benchHandlesLeft = bench.openHandleCount();
    };
    std::istringstream in;
    std::ostringstream out, err;
    run.exitCode = script::RunHeadlessReal(real, machine, in, out, err);
    run.transcript = out.str();
    run.errors = err.str();
    run.requests = sg.requests;
    run.commands = sg.commands;
    return run;
}

}  // namespace usbisp::test
