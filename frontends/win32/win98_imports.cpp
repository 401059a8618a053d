// The compiler's runtime (thread support, exception unwinding, the C library
// additions) calls three wide-character functions that Windows 95/98/ME do not
// implement, and the C++ file streams call _fstat64, which the C library of
// Windows 98 lacks, and can open a file by a wide name through _wfopen, which
// that C library exports but which always fails there. Their import slots are
// filled here with stand-ins built on calls Windows 98 has, so the program
// imports no wide-character call and loads and works on Windows 98.
// Linked into the 32-bit executables as an object of their own: the linker
// takes these slots before it reaches the import library.
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "win32/windows_api.h"

namespace {

// The runtime passes only plain ASCII names (DLL names such as "msvcrt.dll").
bool NarrowAscii(LPCWSTR wide, char* narrow, std::size_t size) {
    std::size_t i = 0;
    for (; wide[i] != 0; ++i) {
        if (i + 1 >= size || wide[i] > 0x7F) return false;
        narrow[i] = static_cast<char>(wide[i]);
    }
    narrow[i] = '\0';
    return true;
}

}  // namespace

extern "C" {

HANDLE WINAPI UsbIspCreateSemaphoreW(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG maximum,
                                     LPCWSTR name) {
    // The runtime's semaphores are unnamed.
    if (name != nullptr) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return ::CreateSemaphoreA(attributes, initial, maximum, nullptr);
}

HMODULE WINAPI UsbIspGetModuleHandleW(LPCWSTR name) {
    if (name == nullptr) return ::GetModuleHandleA(nullptr);
    char narrow[MAX_PATH];
    if (!NarrowAscii(name, narrow, sizeof narrow)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return ::GetModuleHandleA(narrow);
}

HMODULE WINAPI UsbIspLoadLibraryW(LPCWSTR name) {
    char narrow[MAX_PATH];
    if (name == nullptr || !NarrowAscii(name, narrow, sizeof narrow)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return ::LoadLibraryA(narrow);
}

// What the C++ file streams ask: is it a plain file, and how long is it.
int __cdecl UsbIspFstat64(int descriptor, struct _stat64* status) {
    const HANDLE file = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
    if (file == INVALID_HANDLE_VALUE || status == nullptr) {
        errno = EBADF;
        return -1;
    }
    std::memset(status, 0, sizeof *status);
    status->st_nlink = 1;
    switch (::GetFileType(file)) {
        case FILE_TYPE_DISK: {
            DWORD high = 0;
            const DWORD low = ::GetFileSize(file, &high);
            if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) {
                errno = EBADF;
                return -1;
            }
            status->st_size = (static_cast<__int64>(high) << 32) | low;
            status->st_mode = _S_IFREG | _S_IREAD | _S_IWRITE;
            break;
        }
        case FILE_TYPE_CHAR:
            status->st_mode = _S_IFCHR;
            break;
        case FILE_TYPE_PIPE:
            status->st_mode = _S_IFIFO;
            break;
        default:
            break;
    }
    return 0;
}

// The program names its files in ANSI; a wide name reaches here only from
// the C++ streams' wide overload, and only plain ASCII is taken.
std::FILE* __cdecl UsbIspWfopen(const wchar_t* name, const wchar_t* mode) {
    char narrowName[MAX_PATH];
    char narrowMode[16];
    if (name == nullptr || mode == nullptr || !NarrowAscii(name, narrowName, sizeof narrowName) ||
        !NarrowAscii(mode, narrowMode, sizeof narrowMode)) {
        errno = EINVAL;
        return nullptr;
    }
    return std::fopen(narrowName, narrowMode);
}

}  // extern "C"

// The import slots themselves, filled when the image is linked.
asm(".section .rdata,\"dr\"\n"
    ".globl __imp__CreateSemaphoreW@16\n"
    "__imp__CreateSemaphoreW@16: .long _UsbIspCreateSemaphoreW@16\n"
    ".globl __imp__GetModuleHandleW@4\n"
    "__imp__GetModuleHandleW@4: .long _UsbIspGetModuleHandleW@4\n"
    ".globl __imp__LoadLibraryW@4\n"
    "__imp__LoadLibraryW@4: .long _UsbIspLoadLibraryW@4\n"
    ".globl __imp___fstat64\n"
    "__imp___fstat64: .long _UsbIspFstat64\n"
    ".globl __imp___wfopen\n"
    "__imp___wfopen: .long _UsbIspWfopen\n"
    ".text\n");
