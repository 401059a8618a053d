// The system services the program uses, shaped like the Windows calls it makes.
//
// The byte records that travel (pass-through headers, driver request records,
// ASPI request blocks) are built by the core exactly as they go to Windows; the
// real Windows layer hands them on unchanged and the bench reads the same bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/win_constants.h"

namespace usbisp {

// A HANDLE. 0 is the null handle of a closed access path; CreateFileA reports a
// failed open with kInvalidHandle, as Windows does.
using Handle = std::uintptr_t;
inline constexpr Handle kNullHandle = 0;
inline constexpr Handle kInvalidHandle = ~Handle{0};

// An HMODULE and an HKEY.
using Module = std::uintptr_t;
using RegKey = std::uintptr_t;
inline constexpr RegKey kHkeyLocalMachine = 0x80000002u;

// What GetProcAddress hands back: an entry point of a loaded library. Every
// entry point the program looks up is a cdecl function taking at most one
// pointer and returning a 32-bit value. The entry point carries its context:
// on Windows the raw address it wraps, on the bench the library it belongs to
// (so that several benches in one process share nothing).
struct EntryPoint {
    std::uint32_t (*call)(void* context, void* argument) = nullptr;
    void* context = nullptr;

    explicit operator bool() const { return call != nullptr; }
    std::uint32_t operator()(void* argument = nullptr) const { return call(context, argument); }
};

// SYSTEMTIME.
struct LocalTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t dayOfWeek = 0;
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;
};

// A lock file held by this process; destroying it lets the file go. The system
// lets it go too when the process ends, however it ends.
class FileLock {
  public:
    virtual ~FileLock() = default;
};

class Platform {
  public:
    virtual ~Platform() = default;

    // The platform version word: lowest byte the major version, the next byte
    // the minor version, the highest bit set on the 9x family.
    virtual std::uint32_t GetVersion() = 0;

    virtual Handle CreateFileA(const char* path, std::uint32_t desiredAccess,
                               std::uint32_t shareMode, std::uint32_t creationDisposition,
                               std::uint32_t flagsAndAttributes) = 0;
    // The input and output buffers may be the same memory (the pass-through
    // request is sent and answered in one buffer). The output pointer travels
    // even where its declared size is 0 or 1: the port drivers know from the
    // request record how much lies behind it.
    virtual bool DeviceIoControl(Handle device, std::uint32_t controlCode, void* inBuffer,
                                 std::uint32_t inSize, void* outBuffer, std::uint32_t outSize,
                                 std::uint32_t* bytesReturned) = 0;
    virtual bool CloseHandle(Handle handle) = 0;
    // The Windows error code of the last call that failed. The program asks it
    // only right after a CreateFileA that failed: ERROR_ACCESS_DENIED there is
    // a drive that only an administrator may open.
    virtual std::uint32_t GetLastError() = 0;

    virtual std::uint32_t GetLogicalDrives() = 0;
    // The type of the drive with this root ("E:\\"), as GetDriveTypeA gives
    // it; the program asks it only of a drive that refused it with access
    // denied. A platform that does not tell has local fixed disks only.
    virtual std::uint32_t GetDriveTypeA(const char* rootPath) {
        (void)rootPath;
        return win::kDriveFixed;
    }
    virtual void Sleep(std::uint32_t milliseconds) = 0;

    virtual Module LoadLibraryA(const char* name) = 0;
    virtual EntryPoint GetProcAddress(Module module, const char* name) = 0;
    virtual bool FreeLibrary(Module module) = 0;

    // Registry reads, with the Windows results (0 = ERROR_SUCCESS).
    virtual long RegOpenKeyExA(RegKey root, const char* subKey, std::uint32_t samDesired,
                               RegKey* result) = 0;
    virtual long RegQueryValueExA(RegKey key, const char* valueName, std::uint8_t* data,
                                  std::uint32_t* dataSize) = 0;
    virtual long RegCloseKey(RegKey key) = 0;

    virtual LocalTime GetLocalTime() = 0;
    virtual void WriteStdout(const std::string& text) = 0;

    // Files in the program's current directory (DEVICE.TXT, SERIAL.TXT, ROM code
    // and address files), through the C library's streams. Names match
    // whatever their case, and text mode reads as on Windows (CRLF as LF).
    virtual std::FILE* OpenFile(const char* name, const char* mode) = 0;
    // The name under which the file exists (its case may differ from `name`),
    // empty when there is none: a file that exists but cannot be opened is
    // still found.
    virtual std::string FindFile(const char* name) = 0;
    virtual bool RemoveFile(const char* name) = 0;
    // Fails when `to` exists, as rename does on Windows.
    virtual bool RenameFile(const char* from, const char* to) = 0;
    // What was written to the open file, on the disk and not only in the
    // system's cache (FlushFileBuffers).
    virtual bool FlushFile(std::FILE* file) = 0;
    // The directory's own record of its files (one made, removed or renamed)
    // on the disk. Windows keeps that record itself: nothing to do there.
    virtual bool FlushDirectory() = 0;
    // Takes the file `name` of the directory (made when missing) for this
    // process alone, as Windows takes a file opened for writing that it shares
    // with readers only, and writes `note` (who holds it) into it. Null when
    // it cannot be had: `holder` is then "held by " and what the holder wrote,
    // or why the file could not be opened.
    virtual std::unique_ptr<FileLock> LockFile(const char* name, const std::string& note,
                                               std::string& holder) = 0;
};

}  // namespace usbisp
