#include "platform/win32/win32_platform.h"

#include <windows.h>

#include "platform/file_lock.h"
#include "platform/windows_files.h"

namespace usbisp::win32 {

namespace {

HANDLE ToHandle(Handle handle) {
    return reinterpret_cast<HANDLE>(handle);
}
HKEY ToKey(RegKey key) {
    return reinterpret_cast<HKEY>(key);
}

}  // namespace

std::uint32_t Win32Platform::GetVersion() {
    return ::GetVersion();
}

Handle Win32Platform::CreateFileA(const char* path, std::uint32_t desiredAccess,
                                  std::uint32_t shareMode, std::uint32_t creationDisposition,
                                  std::uint32_t flagsAndAttributes) {
    // INVALID_HANDLE_VALUE is all ones, the same as kInvalidHandle.
    return reinterpret_cast<Handle>(::CreateFileA(
        path, desiredAccess, shareMode, nullptr, creationDisposition, flagsAndAttributes, nullptr));
}

bool Win32Platform::DeviceIoControl(Handle device, std::uint32_t controlCode, void* inBuffer,
                                    std::uint32_t inSize, void* outBuffer, std::uint32_t outSize,
                                    std::uint32_t* bytesReturned) {
    if (bytesReturned) *bytesReturned = 0;
#if defined(_WIN64)
    // Every record the program sends (the pass-through header, the drivers'
    // requests) is laid out for 32-bit Windows, which 64-bit Windows would read
    // with other offsets. The 64-bit build only serves the tests under Wine,
    // so it sends none of them.
    (void)device, (void)controlCode, (void)inBuffer, (void)inSize, (void)outBuffer, (void)outSize;
    ::SetLastError(ERROR_NOT_SUPPORTED);
    return false;
#else
    // Without an OVERLAPPED record Windows needs somewhere to put the count.
    DWORD returned = 0;
    const BOOL ok = ::DeviceIoControl(ToHandle(device), controlCode, inBuffer, inSize, outBuffer,
                                      outSize, &returned, nullptr);
    if (bytesReturned) *bytesReturned = returned;
    return ok != FALSE;
#endif
}

bool Win32Platform::CloseHandle(Handle handle) {
    return ::CloseHandle(ToHandle(handle)) != FALSE;
}

std::uint32_t Win32Platform::GetLastError() {
    return ::GetLastError();
}

std::uint32_t Win32Platform::GetLogicalDrives() {
    return ::GetLogicalDrives();
}

namespace {

// Under Wine, whether the drive is the whole Unix file system (Z: as Wine
// sets it up): its device opens for the Unix root user alone, whoever runs
// the program. Windows itself has no such entry point.
bool IsWineUnixRoot(const char* rootPath) {
    using UnixFileName = char*(__cdecl*)(const wchar_t*);
    const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    const auto unixFileName = kernel ? reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
                                           ::GetProcAddress(kernel, "wine_get_unix_file_name")))
                                     : nullptr;
    if (unixFileName == nullptr || rootPath == nullptr || rootPath[0] == '\0') return false;
    const wchar_t root[] = {static_cast<wchar_t>(rootPath[0]), L':', L'\\', L'\0'};
    char* name = unixFileName(root);
    const bool whole = name != nullptr && name[0] == '/' && name[1] == '\0';
    if (name != nullptr) ::HeapFree(::GetProcessHeap(), 0, name);
    return whole;
}

}  // namespace

std::uint32_t Win32Platform::GetDriveTypeA(const char* rootPath) {
    const UINT type = ::GetDriveTypeA(rootPath);
    // Nothing tells of that drive's kind: it is no disk a reader sits on.
    if (type == DRIVE_FIXED && IsWineUnixRoot(rootPath)) return DRIVE_UNKNOWN;
    return type;
}

void Win32Platform::Sleep(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

Module Win32Platform::LoadLibraryA(const char* name) {
#if defined(_WIN64)
    // The only library the program loads is ASPI, whose request block holds
    // 32-bit pointers; the 64-bit test build behaves as if it were absent.
    (void)name;
    ::SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
#else
    return reinterpret_cast<Module>(::LoadLibraryA(name));
#endif
}

namespace {

// The shape of every entry point the program looks up.
using CdeclEntry = DWORD(__cdecl*)(void*);

std::uint32_t CallEntry(void* address, void* argument) {
    return reinterpret_cast<CdeclEntry>(address)(argument);
}

}  // namespace

EntryPoint Win32Platform::GetProcAddress(Module module, const char* name) {
    const FARPROC entry = ::GetProcAddress(reinterpret_cast<HMODULE>(module), name);
    if (entry == nullptr) return {};
    // The raw address is the context; the detour through the generic function
    // type keeps the cast explicit.
    return {CallEntry, reinterpret_cast<void*>(reinterpret_cast<void (*)()>(entry))};
}

bool Win32Platform::FreeLibrary(Module module) {
    return ::FreeLibrary(reinterpret_cast<HMODULE>(module)) != FALSE;
}

long Win32Platform::RegOpenKeyExA(RegKey root, const char* subKey, std::uint32_t samDesired,
                                  RegKey* result) {
    HKEY key = nullptr;
    const LONG status = ::RegOpenKeyExA(ToKey(root), subKey, 0, samDesired, &key);
    if (result) *result = status == ERROR_SUCCESS ? reinterpret_cast<RegKey>(key) : 0;
    return status;
}

long Win32Platform::RegQueryValueExA(RegKey key, const char* valueName, std::uint8_t* data,
                                     std::uint32_t* dataSize) {
    DWORD size = dataSize ? *dataSize : 0;
    DWORD type = 0;
    const LONG status =
        ::RegQueryValueExA(ToKey(key), valueName, nullptr, &type, data, dataSize ? &size : nullptr);
    if (dataSize) *dataSize = size;
    return status;
}

long Win32Platform::RegCloseKey(RegKey key) {
    return ::RegCloseKey(ToKey(key));
}

LocalTime Win32Platform::GetLocalTime() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    LocalTime t;
    t.year = now.wYear;
    t.month = now.wMonth;
    t.dayOfWeek = now.wDayOfWeek;
    t.day = now.wDay;
    t.hour = now.wHour;
    t.minute = now.wMinute;
    t.second = now.wSecond;
    t.milliseconds = now.wMilliseconds;
    return t;
}

void Win32Platform::WriteStdout(const std::string& text) {
    // A windowed program usually has no console; the C library then drops the
    // text, as it did for the original.
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

std::FILE* Win32Platform::OpenFile(const char* name, const char* mode) {
    return std::fopen(name, mode);
}

std::string Win32Platform::FindFile(const char* name) {
    // The name as the directory holds it; a directory of that name counts too,
    // since it keeps a file of the name from being made.
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA(name, &found);
    if (search == INVALID_HANDLE_VALUE) return {};
    ::FindClose(search);
    return found.cFileName;
}

bool Win32Platform::RemoveFile(const char* name) {
    return ::DeleteFileA(name) != FALSE;
}

bool Win32Platform::RenameFile(const char* from, const char* to) {
    // MoveFileA refuses an existing target, which is what the callers rely on.
    return ::MoveFileA(from, to) != FALSE;
}

bool Win32Platform::FlushFile(std::FILE* file) {
    return FlushStream(file);
}

std::unique_ptr<FileLock> Win32Platform::LockFile(const char* name, const std::string& note,
                                                  std::string& holder) {
    return TakeLockFile(name, note, holder);
}

}  // namespace usbisp::win32
