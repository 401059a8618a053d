// The native program on a Linux machine with real card readers: every call of
// the platform interface answered as on Windows XP, the drive letters standing
// for SCSI generic devices, and each pass-through request checked as Windows
// checks it and carried to its device by the sg driver. What an XP machine
// without the maker's drivers lacks stays absent: the kernel and port
// drivers, ASPI, the registry's keys.
//
// A letter found at start follows its reader's place on the USB bus: each
// open looks up the sg node the reader has now, so that a reader unplugged
// and plugged in again at the same port keeps its letter. A letter --drive
// gave stays with the node it names. Before each open the node must be a
// SCSI generic device, and no unit of its reader may be in use by the system
// (disk_use.h): a reader with a mounted card is left alone.
//
// The transcript: the layer reports the same events as the bench, in the same
// words (transcript_text.h). Every wait is a "sleep" line and a real wait of
// the clock; standard output is a "stdout" line; with --trace-io every open,
// request and close of a drive is an "io" line, its details read from the
// request record the program built and its status from the device's answer.
// An open that failed, and a request the kernel could not carry at all or
// that the host adapter failed, add a reason the bench never gives: the
// errno's name, what stood in the way, the host adapter's status.
//
// A device the process cannot open, that is not a SCSI generic device, or
// whose reader is in use, is named on standard error once, with what to do;
// the first two give up their drive letter: the run goes on without it.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/linux/clock.h"
#include "platform/linux/drive_map.h"
#include "platform/linux/sg_driver.h"
#include "platform/linux/system_paths.h"
#include "platform/platform.h"
#include "platform/transcript_text.h"
#include "platform/windows_files.h"

namespace usbisp::lnx {

// What GetVersion reports: Windows XP (5.1, build 2600), whose row of the
// access-path table is the pass-through.
inline constexpr std::uint32_t kWindowsXpVersion = 0x0A280105u;

// How long a scripted replug waits for the readers to come back.
inline constexpr std::uint32_t kReplugWaitMs = 60000;

struct LinuxOptions {
    std::vector<LinuxDrive> drives;
    SystemPaths paths;
    std::string directory;    // the program's current directory
    TranscriptSink events;    // sleep, stdout and io lines; may be empty
    bool traceIo = false;     // whether io lines are reported
    TranscriptSink complain;  // lines for standard error
};

class LinuxPlatform : public Platform {
  public:
    LinuxPlatform(LinuxOptions options, SgDriver& sg, Clock& clock);
    ~LinuxPlatform() override;
    LinuxPlatform(const LinuxPlatform&) = delete;
    LinuxPlatform& operator=(const LinuxPlatform&) = delete;

    // The drives still in use.
    const std::vector<LinuxDrive>& drives() const { return drives_; }
    // Handles opened and not closed yet.
    std::size_t openHandleCount() const { return handles_.size(); }

    // Waits until every reader with a letter has been unplugged and plugged
    // in again, at most `limitMs`: its place on the bus shows a new device,
    // whose node this process may open. Says on standard error what it waits
    // for; false with `error` naming the drives that did not come back.
    bool AwaitReplug(std::uint32_t limitMs, std::string& error);

    std::uint32_t GetVersion() override { return kWindowsXpVersion; }
    Handle CreateFileA(const char* path, std::uint32_t desiredAccess, std::uint32_t shareMode,
                       std::uint32_t creationDisposition,
                       std::uint32_t flagsAndAttributes) override;
    bool DeviceIoControl(Handle device, std::uint32_t controlCode, void* inBuffer,
                         std::uint32_t inSize, void* outBuffer, std::uint32_t outSize,
                         std::uint32_t* bytesReturned) override;
    bool CloseHandle(Handle handle) override;
    std::uint32_t GetLastError() override { return lastError_; }
    std::uint32_t GetLogicalDrives() override;
    void Sleep(std::uint32_t milliseconds) override;
    Module LoadLibraryA(const char*) override { return 0; }
    EntryPoint GetProcAddress(Module, const char*) override { return {}; }
    bool FreeLibrary(Module) override { return false; }
    long RegOpenKeyExA(RegKey root, const char* subKey, std::uint32_t samDesired,
                       RegKey* result) override;
    long RegQueryValueExA(RegKey key, const char* valueName, std::uint8_t* data,
                          std::uint32_t* dataSize) override;
    long RegCloseKey(RegKey key) override;
    LocalTime GetLocalTime() override { return clock_.Now(); }
    void WriteStdout(const std::string& text) override;
    std::FILE* OpenFile(const char* name, const char* mode) override;
    std::string FindFile(const char* name) override;
    bool RemoveFile(const char* name) override;
    bool RenameFile(const char* from, const char* to) override;
    bool FlushFile(std::FILE* file) override;
    bool FlushDirectory() override;
    std::unique_ptr<FileLock> LockFile(const char* name, const std::string& note,
                                       std::string& holder) override;

  private:
    struct OpenDrive {
        std::string path;  // as the program named it, "\\.\E:"
        LinuxDrive drive;
        std::string node;  // the sg node opened
        int fd = -1;
        std::uint32_t access = 0;
        unsigned maxSectors = 0;  // of the device behind it; 0: unknown
    };

    const LinuxDrive* DriveFor(const std::string& path) const;
    // Opens the drive's node after the checks; -1 with `reason` when it
    // does not.
    int OpenDevice(const LinuxDrive& drive, bool write, OpenDrive& open, std::string& reason);
    // Says the line on standard error, once in the run.
    void Complain(const std::string& line);
    // Names the device on standard error (once) and gives up its letter.
    void GiveUp(const LinuxDrive& drive, const std::string& line);
    std::string NoAccessLine(const LinuxDrive& drive, const std::string& node);
    std::string SgFailure(int error, const OpenDrive& open, const sg_io_hdr_t& io) const;
    // Where a drive's reader is now: its place, or the place behind its node.
    std::string PlaceOf(const LinuxDrive& drive);
    bool CarryPassThrough(OpenDrive& open, void* in, std::uint32_t inSize, void* out,
                          std::uint32_t outSize, std::uint32_t* bytesReturned, std::string& details,
                          std::string& reason);
    void Trace(const std::string& line);

    LinuxOptions options_;
    WindowsDirectory files_;
    SgDriver& sg_;
    Clock& clock_;
    std::vector<LinuxDrive> drives_;
    std::set<std::string> complained_;
    std::map<Handle, OpenDrive> handles_;
    Handle nextHandle_ = 0x100;
    std::uint32_t lastError_ = 0;
};

}  // namespace usbisp::lnx
