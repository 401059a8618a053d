// One reader of a station on the bench: a machine of its own with that one
// reader (sim::Bench), whose waits are waits on the station's clock so that
// the readers' runs overlap. Unplugged, the reader is gone as on Windows: its
// drive letters vanish, opening them fails, and a request on a handle still
// open fails in transport.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/sim/bench.h"
#include "platform/transcript_text.h"
#include "platform/win_constants.h"
#include "station/virtual_time.h"

namespace usbisp::station {

class BenchReader : public Platform {
  public:
    // `config`: the machine with its one reader, its clock set to the moment
    // the reader arrives. `unplugged` is set by the station's timeline.
    BenchReader(sim::BenchConfig config, const std::string& directory, TranscriptSink events,
                bool traceIo, VirtualTime& time, std::shared_ptr<std::atomic<bool>> unplugged);

    std::uint32_t GetVersion() override { return bench_.GetVersion(); }
    Handle CreateFileA(const char* path, std::uint32_t desiredAccess, std::uint32_t shareMode,
                       std::uint32_t creationDisposition,
                       std::uint32_t flagsAndAttributes) override;
    bool DeviceIoControl(Handle device, std::uint32_t controlCode, void* inBuffer,
                         std::uint32_t inSize, void* outBuffer, std::uint32_t outSize,
                         std::uint32_t* bytesReturned) override;
    bool CloseHandle(Handle handle) override;
    // The error of the last open: that of the bench, or no such drive once
    // the reader is gone.
    std::uint32_t GetLastError() override {
        return goneOpen_ ? win::kErrorOpenFileNotFound : bench_.GetLastError();
    }
    std::uint32_t GetLogicalDrives() override;
    void Sleep(std::uint32_t milliseconds) override;
    Module LoadLibraryA(const char* name) override { return bench_.LoadLibraryA(name); }
    EntryPoint GetProcAddress(Module module, const char* name) override {
        return bench_.GetProcAddress(module, name);
    }
    bool FreeLibrary(Module module) override { return bench_.FreeLibrary(module); }
    long RegOpenKeyExA(RegKey root, const char* subKey, std::uint32_t samDesired,
                       RegKey* result) override {
        return bench_.RegOpenKeyExA(root, subKey, samDesired, result);
    }
    long RegQueryValueExA(RegKey key, const char* valueName, std::uint8_t* data,
                          std::uint32_t* dataSize) override {
        return bench_.RegQueryValueExA(key, valueName, data, dataSize);
    }
    long RegCloseKey(RegKey key) override { return bench_.RegCloseKey(key); }
    LocalTime GetLocalTime() override { return bench_.GetLocalTime(); }
    void WriteStdout(const std::string& text) override { bench_.WriteStdout(text); }
    std::FILE* OpenFile(const char* name, const char* mode) override {
        return bench_.OpenFile(name, mode);
    }
    std::string FindFile(const char* name) override { return bench_.FindFile(name); }
    bool RemoveFile(const char* name) override { return bench_.RemoveFile(name); }
    bool RenameFile(const char* from, const char* to) override {
        return bench_.RenameFile(from, to);
    }
    bool FlushFile(std::FILE* file) override { return bench_.FlushFile(file); }
    bool FlushDirectory() override { return bench_.FlushDirectory(); }
    std::unique_ptr<FileLock> LockFile(const char* name, const std::string& note,
                                       std::string& holder) override {
        return bench_.LockFile(name, note, holder);
    }

    sim::Bench& bench() { return bench_; }

  private:
    bool Gone() const { return unplugged_->load(); }
    // The drive letters of the reader, as a mask of GetLogicalDrives.
    std::uint32_t ReaderMask() const;
    // Whether `path` ("\\.\E:") names one of the reader's drives.
    bool IsReaderDrive(const std::string& path) const;

    sim::Bench bench_;
    TranscriptSink events_;
    bool traceIo_;
    VirtualTime& time_;
    std::shared_ptr<std::atomic<bool>> unplugged_;
    std::map<Handle, std::string> paths_;
    bool goneOpen_ = false;  // the last open was of a drive of the unplugged reader
};

}  // namespace usbisp::station
