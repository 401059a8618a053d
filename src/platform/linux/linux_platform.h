// The native program on a Linux machine with real card readers: every call of
// the platform interface answered as on Windows XP, the drive letters standing
// for SCSI generic devices, and each pass-through request checked as Windows
// checks it and carried to its device as SG_IO. What an XP machine without the
// maker's drivers lacks stays absent: the kernel and port drivers, ASPI, the
// registry's keys.
//
// The transcript: the layer reports the same events as the bench, in the same
// words (transcript_text.h). Every wait is a "sleep" line and a real wait of
// the clock; standard output is a "stdout" line; with --trace-io every open,
// request and close of a drive is an "io" line, its details read from the
// request record the program built and its status from the device's answer. A
// request the kernel could not carry at all (the SG_IO call failed: the device
// is gone, the command is not allowed) adds a reason; one the device or the
// host adapter failed reads "fail" as on the bench.
//
// A device the process cannot open, or whose vendor commands the kernel
// refuses, is named on standard error once, with what to do, and its drive
// letter is given up: the run goes on without it.
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
#include "platform/platform.h"
#include "platform/transcript_text.h"
#include "platform/windows_files.h"

namespace usbisp::lnx {

// What GetVersion reports: Windows XP (5.1, build 2600), whose row of the
// access-path table is the pass-through.
inline constexpr std::uint32_t kWindowsXpVersion = 0x0A280105u;

struct LinuxOptions {
    std::vector<LinuxDrive> drives;
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

  private:
    struct OpenDrive {
        std::string path;  // as the program named it, "\\.\E:"
        LinuxDrive drive;
        int fd = -1;
        std::uint32_t access = 0;
    };

    const LinuxDrive* DriveFor(const std::string& path) const;
    // Names the device on standard error (once) and gives up its letter.
    void GiveUp(const LinuxDrive& drive, const std::string& line);
    std::string NoAccessLine(const LinuxDrive& drive);
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
