#include "access/access_table.h"

namespace usbisp {

AccessPathId AccessPathFor(int osKind, int selfDriverMode, int diskDriverSelected) {
    const bool self = selfDriverMode == 1;
    switch (osKind) {
        case OsWin9x:
            return diskDriverSelected == 1 ? AccessPathId::PortDriver66
                                           : AccessPathId::PortDriver65;
        case OsWinMe:
            return self ? AccessPathId::PortDriver65 : AccessPathId::Aspi;
        case OsWin2000:
            return self ? AccessPathId::KernelDriver : AccessPathId::PassThrough;
        case OsWinXP:
            return AccessPathId::PassThrough;
        default:
            return AccessPathId::None;
    }
}

bool UsesMakersDriver(AccessPathId id) {
    return IsPortDriver(id) || id == AccessPathId::KernelDriver;
}

const char* AccessPathName(AccessPathId id) {
    switch (id) {
        case AccessPathId::PortDriver66:
            return "port driver, code 66";
        case AccessPathId::PortDriver65:
            return "port driver, code 65";
        case AccessPathId::Aspi:
            return "ASPI";
        case AccessPathId::KernelDriver:
            return "kernel driver";
        case AccessPathId::PassThrough:
            return "SCSI pass-through";
        case AccessPathId::None:
            break;
    }
    return "none";
}

}  // namespace usbisp
