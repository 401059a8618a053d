#include "platform/linux/linux_platform.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "platform/device_access.h"
#include "platform/linux/sg_request.h"
#include "platform/scsi_pass_through.h"
#include "platform/win_constants.h"

namespace usbisp::lnx {

namespace {

std::string Named(const LinuxDrive& drive) {
    return "usbisp: " + drive.device + " (" + drive.letter + ":): ";
}

std::string GoingOn(const LinuxDrive& drive) {
    return "; going on without " + std::string(1, drive.letter) + ":";
}

// What an SG_IO call that failed means, in the io line's reason.
std::string SgIoFailure(int error) {
    switch (error) {
        case ENODEV:
        case ENXIO:
        case ENOENT:
            return "SG_IO failed: the device is gone";
        case EPERM:
        case EACCES:
            return "SG_IO failed: the kernel does not allow the command";
        case EINTR:
            return "SG_IO failed: interrupted";
        case ENOTTY:
        case EINVAL:
            return "SG_IO failed: not a SCSI generic device, or a request it does not take";
        default:
            return "SG_IO failed: errno " + std::to_string(error);
    }
}

}  // namespace

LinuxPlatform::LinuxPlatform(LinuxOptions options, SgDriver& sg, Clock& clock)
    : options_(std::move(options)),
      files_(options_.directory.empty() ? std::string(".") : options_.directory),
      sg_(sg),
      clock_(clock) {
    for (const LinuxDrive& drive : options_.drives) {
        const int access = sg_.CheckAccess(drive.device);
        if (access == 0) {
            drives_.push_back(drive);
            continue;
        }
        complained_.insert(drive.device);
        if (!options_.complain) continue;
        options_.complain(access == -ENOENT
                              ? Named(drive) + "there is no such device" + GoingOn(drive)
                              : NoAccessLine(drive));
    }
}

LinuxPlatform::~LinuxPlatform() {
    for (auto& [handle, open] : handles_) sg_.Close(open.fd);
}

void LinuxPlatform::Trace(const std::string& line) {
    if (options_.traceIo && options_.events) options_.events(line);
}

std::string LinuxPlatform::NoAccessLine(const LinuxDrive& drive) {
    const std::string group = sg_.GroupOf(drive.device);
    std::string what = "no read and write access; run as root";
    if (!group.empty() && group != "root")
        what += ", or add the user to the group \"" + group + "\" that owns it (and log in again)";
    return Named(drive) + what + GoingOn(drive);
}

void LinuxPlatform::GiveUp(const LinuxDrive& drive, const std::string& line) {
    if (complained_.insert(drive.device).second && options_.complain) options_.complain(line);
    for (auto it = drives_.begin(); it != drives_.end(); ++it) {
        if (it->letter == drive.letter) {
            drives_.erase(it);
            break;
        }
    }
}

const LinuxDrive* LinuxPlatform::DriveFor(const std::string& path) const {
    // "\\.\E:", the letter in either case.
    if (path.size() != 6 || path.compare(0, 4, "\\\\.\\") != 0 || path[5] != ':') return nullptr;
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[4])));
    for (const LinuxDrive& drive : drives_)
        if (drive.letter == letter) return &drive;
    return nullptr;
}

Handle LinuxPlatform::CreateFileA(const char* path, std::uint32_t desiredAccess,
                                  std::uint32_t shareMode, std::uint32_t creationDisposition,
                                  std::uint32_t flagsAndAttributes) {
    const std::string name = path ? path : "";
    const LinuxDrive* found = DriveFor(name);
    const LinuxDrive drive = found ? *found : LinuxDrive{};
    int fd = -1;
    if (found && creationDisposition == win::kOpenExisting) {
        fd = sg_.Open(drive.device, GrantsWrite(desiredAccess));
        if (fd == -EACCES || fd == -EPERM) GiveUp(drive, NoAccessLine(drive));
    }
    Trace(IoOpenEvent(name, fd >= 0, desiredAccess, shareMode, flagsAndAttributes));
    if (fd < 0) {
        // A device the user may not open reads as Windows' access denied.
        lastError_ = fd == -EACCES || fd == -EPERM ? win::kErrorAccessDenied
                     : !drive.device.empty()       ? win::kErrorGenFailure
                                                   : win::kErrorOpenFileNotFound;
        return kInvalidHandle;
    }
    const Handle handle = nextHandle_;
    nextHandle_ += 4;
    handles_[handle] = OpenDrive{name, drive, fd, desiredAccess};
    return handle;
}

bool LinuxPlatform::DeviceIoControl(Handle device, std::uint32_t controlCode, void* inBuffer,
                                    std::uint32_t inSize, void* outBuffer, std::uint32_t outSize,
                                    std::uint32_t* bytesReturned) {
    if (bytesReturned) *bytesReturned = 0;
    auto it = handles_.find(device);
    if (it == handles_.end()) {
        Trace(IoIoctlEvent("", controlCode, inSize, outSize, false, "", "invalid handle"));
        return false;
    }
    OpenDrive& open = it->second;
    std::string details;
    std::string reason = AccessDenial(open.access, controlCode);
    bool ok = false;
    if (reason.empty()) {
        if (controlCode != win::kIoctlScsiPassThrough) {
            reason = kNotServedByDrive;
        } else {
            ok = CarryPassThrough(open, inBuffer, inSize, outBuffer, outSize, bytesReturned,
                                  details, reason);
        }
    }
    Trace(IoIoctlEvent(open.path, controlCode, inSize, outSize, ok, details, reason));
    return ok;
}

bool LinuxPlatform::CarryPassThrough(OpenDrive& open, void* in, std::uint32_t inSize, void* out,
                                     std::uint32_t outSize, std::uint32_t* bytesReturned,
                                     std::string& details, std::string& reason) {
    // Checked as Windows checks it: nothing malformed reaches the kernel, and
    // the offsets are known to lie inside the caller's buffers.
    const ParsedPassThrough parsed = ParsePassThrough(in, inSize, out, outSize);
    if (!parsed.request) {
        reason = parsed.reason;
        return false;
    }
    const PassThroughRequest& request = *parsed.request;
    details = PassThroughDetails(request, request.scsiStatus);
    if (!parsed.reason.empty()) {
        reason = parsed.reason;
        return false;
    }
    SgRequest sg(request);
    const int result = sg_.Io(open.fd, sg.header());
    if (result < 0) {
        reason = SgIoFailure(-result);
        if (result == -EPERM || result == -EACCES) {
            GiveUp(open.drive, Named(open.drive) +
                                   "the kernel refuses the reader's vendor commands, which need "
                                   "CAP_SYS_RAWIO; run as root, or give the program the capability "
                                   "(sudo setcap cap_sys_rawio+ep \"$(command -v usbisp)\")" +
                                   GoingOn(open.drive));
        }
        return false;
    }
    const SgOutcome outcome = ReadOutcome(sg);
    if (!outcome.carried) return false;
    std::vector<std::uint8_t> sense;
    const std::uint32_t returned =
        CompletePassThrough(in, out, request, outcome.scsiStatus, outcome.reply, &sense);
    if (bytesReturned) *bytesReturned = returned;
    details = PassThroughDetails(request, outcome.scsiStatus, sense);
    return true;
}

bool LinuxPlatform::CloseHandle(Handle handle) {
    auto it = handles_.find(handle);
    if (it == handles_.end()) return false;
    sg_.Close(it->second.fd);
    Trace(IoCloseEvent(it->second.path));
    handles_.erase(it);
    return true;
}

std::uint32_t LinuxPlatform::GetLogicalDrives() {
    std::uint32_t mask = 0;
    for (const LinuxDrive& drive : drives_) mask |= 1u << (drive.letter - 'A');
    return mask;
}

void LinuxPlatform::Sleep(std::uint32_t milliseconds) {
    if (options_.events) options_.events(SleepEvent(milliseconds));
    clock_.Wait(milliseconds);
}

long LinuxPlatform::RegOpenKeyExA(RegKey, const char*, std::uint32_t, RegKey* result) {
    if (result) *result = 0;
    return win::kErrorFileNotFound;
}

long LinuxPlatform::RegQueryValueExA(RegKey, const char*, std::uint8_t*, std::uint32_t*) {
    return win::kErrorFileNotFound;
}

long LinuxPlatform::RegCloseKey(RegKey) {
    return win::kErrorSuccess;
}

void LinuxPlatform::WriteStdout(const std::string& text) {
    if (options_.events) options_.events(StdoutEvent(text));
}

// The program's directory as the bench keeps it: a name finds its file
// whatever its case, text reads as Windows reads it, and a rename never
// replaces a file.
std::FILE* LinuxPlatform::OpenFile(const char* name, const char* mode) {
    return files_.Open(name, mode);
}

std::string LinuxPlatform::FindFile(const char* name) {
    return files_.Find(name);
}

bool LinuxPlatform::RemoveFile(const char* name) {
    return files_.Remove(name);
}

bool LinuxPlatform::RenameFile(const char* from, const char* to) {
    return files_.Rename(from, to);
}

}  // namespace usbisp::lnx
