#include "app/os_kind.h"

#include "platform/platform.h"

namespace usbisp {

OsKind ClassifyVersion(std::uint32_t versionWord) {
    const unsigned major = versionWord & 0xFFu;
    const unsigned minor = (versionWord >> 8) & 0xFFu;
    const bool family9x = (versionWord & 0x80000000u) != 0;
    if (family9x) {
        if (major == 4 && (minor == 0 || minor == 10)) return OsWin9x;
        if (major == 4 && minor == 90) return OsWinMe;
        return OsUnsupported;
    }
    if (major == 5 && minor == 0) return OsWin2000;
    if (major == 5 && minor == 1) return OsWinXP;
    return OsUnsupported;
}

OsKind DetectOsKind(Platform& platform) {
    return ClassifyVersion(platform.GetVersion());
}

}  // namespace usbisp
