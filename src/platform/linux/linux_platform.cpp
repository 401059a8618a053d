#include "platform/linux/linux_platform.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <utility>

#include "platform/device_access.h"
#include "platform/file_lock.h"
#include "platform/linux/disk_use.h"
#include "platform/linux/errno_text.h"
#include "platform/linux/held_signals.h"
#include "platform/linux/scsi_nodes.h"
#include "platform/linux/sg_request.h"
#include "platform/scsi_pass_through.h"
#include "platform/win_constants.h"

namespace usbisp::lnx {

namespace {

std::string Named(const std::string& node, char letter) {
    return "usbisp: " + node + " (" + letter + ":): ";
}

std::string GoingOn(char letter) {
    return "; going on without " + std::string(1, letter) + ":";
}

bool Gone(int error) {
    return error == ENOENT || error == ENODEV || error == ENXIO;
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
        Complain(access == -ENOENT ? Named(drive.device, drive.letter) + "there is no such device" +
                                         GoingOn(drive.letter)
                                   : NoAccessLine(drive, drive.device));
    }
}

LinuxPlatform::~LinuxPlatform() {
    for (auto& [handle, open] : handles_) sg_.Close(open.fd);
}

void LinuxPlatform::Trace(const std::string& line) {
    if (options_.traceIo && options_.events) options_.events(line);
}

void LinuxPlatform::Complain(const std::string& line) {
    if (complained_.insert(line).second && options_.complain) options_.complain(line);
}

std::string LinuxPlatform::NoAccessLine(const LinuxDrive& drive, const std::string& node) {
    const std::string group = sg_.GroupOf(node);
    std::string what = "no read and write access; run as root";
    if (!group.empty() && group != "root")
        what += ", or add the user to the group \"" + group + "\" that owns it (and log in again)";
    return Named(node, drive.letter) + what + GoingOn(drive.letter);
}

void LinuxPlatform::GiveUp(const LinuxDrive& drive, const std::string& line) {
    Complain(line);
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

int LinuxPlatform::OpenDevice(const LinuxDrive& drive, bool write, OpenDrive& open,
                              std::string& reason) {
    const SystemPaths& paths = options_.paths;
    // A lettered device that cannot be used now; access denied below.
    lastError_ = win::kErrorGenFailure;
    std::optional<ScsiNode> scsi;
    std::string node = drive.device;
    if (!drive.place.empty()) {
        scsi = ScsiNodeAt(paths, drive.place);
        if (!scsi) {
            reason = "open: nothing at " + drive.placeName + " (unplugged)";
            return -1;
        }
        node = scsi->node;
    }
    const NodeInfo info = sg_.Stat(node);
    if (info.error != 0) {
        reason = "open: " + ErrnoText(info.error);
        return -1;
    }
    const std::string notSg = NotScsiGeneric(info, paths);
    if (!notSg.empty()) {
        reason = "open: " + notSg;
        GiveUp(drive, Named(node, drive.letter) + notSg + GoingOn(drive.letter));
        return -1;
    }
    if (!scsi) scsi = ScsiNodeOf(paths, info.major, info.minor);
    // A card of the reader may have been mounted since the last open: its
    // controller is not touched while one is.
    if (scsi) {
        const std::string why = ReaderInUse(paths, sg_, scsi->reader);
        if (!why.empty()) {
            reason = "open: the reader is in use: " + why;
            Complain(Named(node, drive.letter) + "its reader (" + scsi->readerName +
                     ") is in use: " + why + "; " + drive.letter + ": is left alone while it is");
            return -1;
        }
    }
    const int fd = sg_.Open(node, write);
    if (fd < 0) {
        reason = "open: " + ErrnoText(-fd);
        if (fd == -EACCES || fd == -EPERM) lastError_ = win::kErrorAccessDenied;
        if (fd == -EACCES || fd == -EPERM) {
            GiveUp(drive, NoAccessLine(drive, node));
        } else if (!Gone(-fd)) {
            Complain(Named(node, drive.letter) + "cannot open it: " + ErrnoText(-fd));
        }
        return -1;
    }
    open.node = node;
    open.maxSectors = scsi ? scsi->maxSectors : 0;
    return fd;
}

Handle LinuxPlatform::CreateFileA(const char* path, std::uint32_t desiredAccess,
                                  std::uint32_t shareMode, std::uint32_t creationDisposition,
                                  std::uint32_t flagsAndAttributes) {
    const std::string name = path ? path : "";
    const LinuxDrive* found = DriveFor(name);
    OpenDrive open{name, found ? *found : LinuxDrive{}, {}, -1, desiredAccess, 0};
    std::string reason;
    // A letter without a device reads as Windows' file not found; a device
    // the user may not open as access denied (OpenDevice says which).
    lastError_ = win::kErrorOpenFileNotFound;
    if (found && creationDisposition == win::kOpenExisting)
        open.fd = OpenDevice(*found, GrantsWrite(desiredAccess), open, reason);
    Trace(IoOpenEvent(name, open.fd >= 0, desiredAccess, shareMode, flagsAndAttributes, reason));
    if (open.fd < 0) return kInvalidHandle;
    const Handle handle = nextHandle_;
    nextHandle_ += 4;
    handles_[handle] = std::move(open);
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

std::string LinuxPlatform::SgFailure(int error, const OpenDrive& open,
                                     const sg_io_hdr_t& io) const {
    std::string text = "sg: " + ErrnoText(error);
    // The block layer refuses a request larger than the device's
    // max_sectors with EINVAL, as it refuses one it cannot map.
    const std::uint64_t most = std::uint64_t{open.maxSectors} * 512;
    if (error == EINVAL && most > 0 && io.dxfer_len > most)
        text += ": " + std::to_string(io.dxfer_len) +
                " bytes are more than the reader takes in one request (its max_sectors " +
                std::to_string(open.maxSectors) + ": " + std::to_string(most) + " bytes)";
    else if (Gone(error))
        text += ": the device is gone";
    return text;
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
    int result = 0;
    {
        const HeldSignals held;
        result = sg_.Io(open.fd, sg.header());
    }
    if (result < 0) {
        reason = SgFailure(-result, open, sg.header());
        return false;
    }
    SgOutcome outcome = ReadOutcome(sg);
    if (!outcome.carried) {
        reason = outcome.failure;
        return false;
    }
    std::vector<std::uint8_t> sense;
    const std::uint32_t returned =
        CompletePassThrough(in, out, request, outcome.scsiStatus, outcome.reply, &sense);
    if (bytesReturned) *bytesReturned = returned;
    details = PassThroughDetails(request, outcome.scsiStatus, sense);
    return true;
}

std::string LinuxPlatform::PlaceOf(const LinuxDrive& drive) {
    if (!drive.place.empty()) return drive.place;
    const NodeInfo info = sg_.Stat(drive.device);
    if (info.error != 0 || !info.character) return {};
    const auto scsi = ScsiNodeOf(options_.paths, info.major, info.minor);
    return scsi ? scsi->place : std::string();
}

bool LinuxPlatform::AwaitReplug(std::uint32_t limitMs, std::string& error) {
    constexpr std::uint32_t kPollMs = 100;
    struct Awaited {
        const LinuxDrive* drive;
        std::string place;
        std::string before;  // the SCSI device there when the wait began
    };
    std::vector<Awaited> awaited;
    std::string letters;
    for (const LinuxDrive& drive : drives_) {
        const std::string place = PlaceOf(drive);
        if (place.empty()) continue;
        const auto now = ScsiNodeAt(options_.paths, place);
        awaited.push_back({&drive, place, now ? now->device : std::string()});
        letters += std::string(letters.empty() ? "" : " ") + drive.letter + ":";
    }
    if (awaited.empty()) return true;
    // Asked at every replug, not once.
    if (options_.complain)
        options_.complain("usbisp: unplug the readers (" + letters +
                          ") and plug them in again; waiting up to " +
                          std::to_string(limitMs / 1000) + " s");
    // Back: a new SCSI device at the same place, under a node that opens. A
    // new device is a new host number, so a replug quicker than the polls
    // is seen too.
    auto back = [this](const Awaited& a) {
        const auto now = ScsiNodeAt(options_.paths, a.place);
        return now && now->device != a.before && sg_.Stat(now->node).error == 0 &&
               sg_.CheckAccess(now->node) == 0;
    };
    for (std::uint32_t waited = 0;; waited += kPollMs) {
        std::string missing;
        for (const Awaited& a : awaited)
            if (!back(a))
                missing += std::string(missing.empty() ? "" : " ") + a.drive->letter + ":";
        if (missing.empty()) break;
        if (waited >= limitMs) {
            error = "replug: " + missing + " did not come back within " +
                    std::to_string(limitMs / 1000) + " s";
            return false;
        }
        clock_.Wait(kPollMs);
    }
    // A letter --drive gave stays with its node, wherever the reader went.
    for (const Awaited& a : awaited) {
        if (!a.drive->place.empty()) continue;
        const auto now = ScsiNodeAt(options_.paths, a.place);
        if (now && now->node != a.drive->device)
            Complain(Named(a.drive->device, a.drive->letter) + "its reader came back as " +
                     now->node + "; " + a.drive->letter + ": stays with " + a.drive->device +
                     " as --drive named it");
    }
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

bool LinuxPlatform::FlushFile(std::FILE* file) {
    return FlushStream(file);
}

bool LinuxPlatform::FlushDirectory() {
    return files_.FlushDirectory();
}

std::unique_ptr<FileLock> LinuxPlatform::LockFile(const char* name, const std::string& note,
                                                  std::string& holder) {
    return TakeLockFile(files_.PathFor(name), note, holder);
}

}  // namespace usbisp::lnx
