// The access a control code asks of the handle it is sent on. Windows NT
// checks it before any driver sees the request: bits 14 and 15 of the code
// say whether the handle must have been opened for reading (1), for writing
// (2) or both; IOCTL_SCSI_PASS_THROUGH asks for both. Windows 95, 98 and ME
// do not check.
#pragma once

#include <cstdint>
#include <string>

#include "platform/printf_text.h"
#include "platform/win_constants.h"

namespace usbisp {

inline constexpr std::uint32_t kFileReadAccess = 1;   // FILE_READ_ACCESS in a control code
inline constexpr std::uint32_t kFileWriteAccess = 2;  // FILE_WRITE_ACCESS

inline std::uint32_t RequiredAccess(std::uint32_t controlCode) {
    return (controlCode >> 14) & 3u;
}

// Whether CreateFileA's desiredAccess gives the handle reading, and writing.
inline bool GrantsRead(std::uint32_t desiredAccess) {
    using namespace win;
    return desiredAccess & (kGenericRead | kGenericAll | kMaximumAllowed | kFileReadData);
}
inline bool GrantsWrite(std::uint32_t desiredAccess) {
    using namespace win;
    return desiredAccess & (kGenericWrite | kGenericAll | kMaximumAllowed | kFileWriteData);
}

// Empty when a handle opened with `desiredAccess` may carry the control code,
// else the reason Windows refuses it (access denied).
inline std::string AccessDenial(std::uint32_t desiredAccess, std::uint32_t controlCode) {
    const std::uint32_t required = RequiredAccess(controlCode);
    const bool readOk = !(required & kFileReadAccess) || GrantsRead(desiredAccess);
    const bool writeOk = !(required & kFileWriteAccess) || GrantsWrite(desiredAccess);
    if (readOk && writeOk) return {};
    const char* wanted = required == (kFileReadAccess | kFileWriteAccess) ? "read and write"
                         : required == kFileReadAccess                    ? "read"
                                                                          : "write";
    return Printf("access denied: the handle was opened without %s access", wanted);
}

}  // namespace usbisp
