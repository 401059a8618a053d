// The bench: an emulated Windows machine with its drives, the maker's drivers
// and card readers, implementing the system services for the core.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "emulator/sim_reader.h"
#include "platform/platform.h"
#include "platform/sim/aspi_library.h"
#include "platform/sim/bench_config.h"
#include "platform/sim/file_faults.h"
#include "platform/sim/registry.h"
#include "platform/sim/sim_device.h"
#include "platform/windows_files.h"

namespace usbisp::sim {

// Receives each transcript event the bench produces (sleep, stdout, io), one
// line without its line feed.
using EventSink = std::function<void(const std::string&)>;

// The local time `milliseconds` after `start`, as the bench's clock counts it.
LocalTime LocalTimeAfter(const LocalTime& start, std::uint64_t milliseconds);

class Bench : public Platform {
  public:
    Bench(BenchConfig config, std::string directory, EventSink sink, bool traceIo);
    ~Bench() override;

    const BenchConfig& config() const { return config_; }
    const std::string& directory() const { return directory_; }

    // Emulated hardware registers itself here. Paths compare without regard to
    // case, as Windows does.
    void AddDevice(const std::string& path, std::shared_ptr<SimDevice> device);
    void AddReader(std::shared_ptr<SimReader> reader);
    bool DriverInstalled(const std::string& fileName) const;
    // A drive letter GetLogicalDrives shows beside the bench file's own.
    void AddLogicalDrive(char letter);
    Registry& registry() { return registry_; }
    // ASPI for Win32, when the bench has it; the hardware sets it up.
    void InstallAspi(std::unique_ptr<BenchAspi> library) { aspi_ = std::move(library); }
    // The bench's clock: milliseconds since the start.
    std::uint64_t ElapsedMs() const;

    // Writes an io event when --trace-io is on.
    void TraceIo(const std::string& line);
    bool tracingIo() const { return traceIo_; }

    // Script actions.
    void Replug();
    std::size_t readerCount() const { return readers_.size(); }
    // Handles opened and not closed yet: a run that ended through "Close"
    // leaves none. One reference to the ASPI library is not counted while
    // requests are still posted in it: the program must keep it, and the end
    // of the process takes it.
    std::size_t openHandleCount() const;
    // The firmware reader n (0-based) holds now.
    std::vector<std::uint8_t> ReaderFirmware(std::size_t n) const;

    // File faults a test stages (see file_faults.h).
    void SetFileFaults(std::set<std::string> faults) { fileFaults_.Set(std::move(faults)); }

    // Platform
    std::uint32_t GetVersion() override;
    Handle CreateFileA(const char* path, std::uint32_t desiredAccess, std::uint32_t shareMode,
                       std::uint32_t creationDisposition,
                       std::uint32_t flagsAndAttributes) override;
    bool DeviceIoControl(Handle device, std::uint32_t controlCode, void* inBuffer,
                         std::uint32_t inSize, void* outBuffer, std::uint32_t outSize,
                         std::uint32_t* bytesReturned) override;
    bool CloseHandle(Handle handle) override;
    std::uint32_t GetLastError() override { return lastError_; }
    std::uint32_t GetLogicalDrives() override;
    std::uint32_t GetDriveTypeA(const char* rootPath) override;
    void Sleep(std::uint32_t milliseconds) override;
    Module LoadLibraryA(const char* name) override;
    EntryPoint GetProcAddress(Module module, const char* name) override;
    bool FreeLibrary(Module module) override;
    long RegOpenKeyExA(RegKey root, const char* subKey, std::uint32_t samDesired,
                       RegKey* result) override;
    long RegQueryValueExA(RegKey key, const char* valueName, std::uint8_t* data,
                          std::uint32_t* dataSize) override;
    long RegCloseKey(RegKey key) override;
    LocalTime GetLocalTime() override;
    void WriteStdout(const std::string& text) override;
    std::FILE* OpenFile(const char* name, const char* mode) override;
    std::string FindFile(const char* name) override;
    bool RemoveFile(const char* name) override;
    bool RenameFile(const char* from, const char* to) override;
    bool FlushFile(std::FILE* file) override;
    bool FlushDirectory() override;
    // The lock as Windows keeps it: on Windows itself the file opened for
    // writing and shared with readers only, elsewhere the same exclusion
    // between processes (and between benches of one process).
    std::unique_ptr<FileLock> LockFile(const char* name, const std::string& note,
                                       std::string& holder) override;

  private:
    struct OpenDevice {
        std::string path;
        std::shared_ptr<SimDevice> device;
        std::uint32_t desiredAccess = 0;
        std::uint32_t shareMode = 0;
    };

    // Windows 2000 and XP (and the unsupported NT versions) check what 95/98
    // and ME do not: sharing and a handle's access. The 9x family sets the
    // version word's high bit.
    bool NtFamily() const { return (config_.versionWord & 0x80000000u) == 0; }
    // Windows NT refuses an open that another open of the same device does not
    // share (an exclusive open, share mode 0, on either side).
    bool SharingConflict(const std::shared_ptr<SimDevice>& device, std::uint32_t shareMode) const;
    // A limited user of Windows 2000 or XP may not open a drive ("\\.\E:")
    // for reading or writing.
    bool DeniedToUser(const std::string& path, std::uint32_t desiredAccess) const;
    // A drive path (\\.\X:) of one of `remoteDrives`.
    bool RemoteDrive(const std::string& path) const;

    std::shared_ptr<SimDevice> FindDevice(const std::string& path) const;
    void Emit(const std::string& line);

    BenchConfig config_;
    std::string directory_;
    EventSink sink_;
    bool traceIo_;
    std::map<std::string, std::shared_ptr<SimDevice>> devices_;  // by upper-case path
    std::vector<std::shared_ptr<SimReader>> readers_;
    std::map<Handle, OpenDevice> handles_;
    Handle nextHandle_ = 0x100;
    // The virtual clock: the start time and how far waits have advanced it.
    std::chrono::system_clock::time_point start_;
    std::chrono::milliseconds slept_{0};
    std::chrono::steady_clock::time_point realStart_;
    // The program's directory, as Windows shows it.
    WindowsDirectory files_;
    FileFaults fileFaults_;
    Registry registry_;
    std::unique_ptr<BenchAspi> aspi_;
    // References to the ASPI library: LoadLibraryA adds one, FreeLibrary
    // takes one, and the last one unloads it.
    std::size_t aspiReferences_ = 0;
    std::uint32_t lastError_ = 0;
    std::uint32_t extraDrives_ = 0;
};

}  // namespace usbisp::sim
