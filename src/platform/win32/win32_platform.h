// The real Windows layer: every system service of the platform interface is
// the Windows call of the same name, made with the ANSI entry points that
// Windows 98 already has.
#pragma once

#include "platform/platform.h"

namespace usbisp::win32 {

class Win32Platform : public Platform {
  public:
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
    void WriteStdout(const std::string& text) override;
    std::FILE* OpenFile(const char* name, const char* mode) override;
    std::string FindFile(const char* name) override;
    bool RemoveFile(const char* name) override;
    bool RenameFile(const char* from, const char* to) override;
    bool FlushFile(std::FILE* file) override;
    bool FlushDirectory() override { return true; }
    std::unique_ptr<FileLock> LockFile(const char* name, const std::string& note,
                                       std::string& holder) override;
};

}  // namespace usbisp::win32
