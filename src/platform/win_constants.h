// Values of the Windows headers that the core puts into its requests.
#pragma once

#include <cstdint>

namespace usbisp::win {

inline constexpr std::uint32_t kGenericRead = 0x80000000u;
inline constexpr std::uint32_t kGenericWrite = 0x40000000u;
inline constexpr std::uint32_t kGenericAll = 0x10000000u;
inline constexpr std::uint32_t kMaximumAllowed = 0x02000000u;
inline constexpr std::uint32_t kFileReadData = 0x1u;
inline constexpr std::uint32_t kFileWriteData = 0x2u;
inline constexpr std::uint32_t kFileShareRead = 0x1u;
inline constexpr std::uint32_t kFileShareWrite = 0x2u;
inline constexpr std::uint32_t kOpenExisting = 3u;
inline constexpr std::uint32_t kFileAttributeNormal = 0x80u;
inline constexpr std::uint32_t kFileFlagDeleteOnClose = 0x04000000u;
inline constexpr std::uint32_t kKeyAllAccess = 0xF003Fu;

inline constexpr std::uint32_t kIoctlScsiPassThrough = 0x4D004u;

inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorMoreData = 234;

// Last errors (GetLastError) of a failed open.
inline constexpr std::uint32_t kErrorOpenFileNotFound = 2;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorGenFailure = 31;
inline constexpr std::uint32_t kErrorSharingViolation = 32;

// Drive types (GetDriveTypeA).
inline constexpr std::uint32_t kDriveUnknown = 0;
inline constexpr std::uint32_t kDriveNoRootDir = 1;
inline constexpr std::uint32_t kDriveRemovable = 2;
inline constexpr std::uint32_t kDriveFixed = 3;
inline constexpr std::uint32_t kDriveRemote = 4;

}  // namespace usbisp::win
