// The recorder: a platform that hands every call on to the platform below it
// and writes each call that touches a device or reads the machine's
// description, with its answer, to a recording (recording.h). Every face puts
// it between the core and its platform: usbisp --record, and the Windows
// programs' /record.
//
// Each event is written when its call returns, so that a session that ends
// badly still leaves every call up to its end (the file then lacks its end,
// and the bench says so). The files of the program's directory, the waits'
// effect and standard output pass through unrecorded: they are not the
// machine's answers. The entry points of a loaded library are handed on as
// they are; what ASPI answers through them is not recorded.
#pragma once

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/recording.h"

namespace usbisp::rec {

class Recorder : public Platform {
  public:
    // Writes to `file` (kept open, closed by the destructor after the end).
    // `header` says which program, version and platform made it, and the
    // facts found before the first call.
    Recorder(Platform& inner, std::FILE* file, const Recording& header);
    ~Recorder() override;
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Opens `path` for writing; nullptr with `error` when it cannot.
    static std::FILE* OpenOutput(const std::string& path, std::string& error);
    // Whether every event so far reached the file.
    bool sound() const { return sound_; }
    std::size_t eventCount() const { return events_; }

    std::uint32_t GetVersion() override;
    Handle CreateFileA(const char* path, std::uint32_t desiredAccess, std::uint32_t shareMode,
                       std::uint32_t creationDisposition,
                       std::uint32_t flagsAndAttributes) override;
    bool DeviceIoControl(Handle device, std::uint32_t controlCode, void* inBuffer,
                         std::uint32_t inSize, void* outBuffer, std::uint32_t outSize,
                         std::uint32_t* bytesReturned) override;
    bool CloseHandle(Handle handle) override;
    std::uint32_t GetLastError() override;
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
    void WriteStdout(const std::string& text) override { inner_.WriteStdout(text); }
    std::FILE* OpenFile(const char* name, const char* mode) override {
        return inner_.OpenFile(name, mode);
    }
    std::string FindFile(const char* name) override { return inner_.FindFile(name); }
    bool RemoveFile(const char* name) override { return inner_.RemoveFile(name); }
    bool RenameFile(const char* from, const char* to) override {
        return inner_.RenameFile(from, to);
    }
    bool FlushFile(std::FILE* file) override { return inner_.FlushFile(file); }
    bool FlushDirectory() override { return inner_.FlushDirectory(); }
    std::unique_ptr<FileLock> LockFile(const char* name, const std::string& note,
                                       std::string& holder) override {
        return inner_.LockFile(name, note, holder);
    }

  private:
    // An event of `call` at the present time.
    Event Start(Call call) const;
    void Write(const Event& event);
    std::string PathOf(Handle handle) const;

    Platform& inner_;
    std::FILE* file_;
    std::chrono::steady_clock::time_point start_;
    std::map<Handle, std::string> paths_;  // of the handles open now
    // The last error as the platform below gave it right after the call that
    // failed: writing the recording may change the thread's own on Windows.
    std::uint32_t lastError_ = 0;
    std::size_t written_ = 0;
    std::size_t events_ = 0;
    bool cut_ = false;
    bool sound_ = true;
};

}  // namespace usbisp::rec
