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
// machine's answers.
//
// ASPI's two entry points are handed out as the recorder's own, which record
// each call and hand it on (recorder_aspi.cpp). A request block that posts
// its completion goes on with the recorder's completion routine in place of
// the program's: that routine, which ASPI may call on a thread of its own,
// records the completion, puts the program's routine back into the block
// and calls it. The routine is handed nothing but the block, so it finds the
// recorder that submitted the block through a process-wide table, under a
// lock.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/recording.h"
#include "platform/thread_lock.h"

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

    // What the entry points the recorder hands out for ASPI call.
    std::uint32_t AspiSupportInfo();
    std::uint32_t AspiSend(void* block);
    // The completion of a request this recorder submitted, from the block as
    // the completion routine found it; written at once, or after its request
    // when that has not been written yet (`deferred`).
    Event AspiCompletion(const void* block, std::uint32_t request,
                         std::uint32_t sleepsAtSubmission) const;
    void Write(const Event& event);

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
    std::string PathOf(Handle handle) const;
    // The entry point handed out for ASPI's entry point `name` found as
    // `entry`: the recorder's own for the two it records.
    EntryPoint WrapAspiEntry(const char* name, EntryPoint entry);
    void EnlistForAspi();
    void RetireFromAspi();

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
    // Events come from ASPI's thread too.
    ThreadLock writeLock_;
    // ASPI's entry points as the platform below gave them.
    EntryPoint aspiSupportInfo_, aspiSend_;
    std::uint32_t aspiRequests_ = 0;
    // The waits begun so far, which place a completion among them.
    std::atomic<std::uint32_t> sleepsBegun_{0};
};

}  // namespace usbisp::rec
