// Which Windows the program runs on; every platform-dependent decision branches on it.
#pragma once

#include <cstdint>

namespace usbisp {

enum OsKind : int {
    OsUnsupported = 0,
    OsWin9x = 1,  // Windows 95 and 98
    OsWinMe = 2,
    OsWin2000 = 3,
    OsWinXP = 4,
};

// Classifies a platform version word (lowest byte major, next byte minor,
// highest bit set on the 9x family).
OsKind ClassifyVersion(std::uint32_t versionWord);

class Platform;
OsKind DetectOsKind(Platform& platform);

inline bool IsSupported(int osKind) {
    return osKind >= OsWin9x && osKind <= OsWinXP;
}

}  // namespace usbisp
