// The process-wide state that every command reads and writes. One instance
// lives in the composition root for the whole run; the names are the system's.
#pragma once

#include <cstdint>
#include <string>

#include "app/os_kind.h"

namespace usbisp {

struct AppState {
    int osKind = OsUnsupported;
    int selfDriverMode = 0;      // "SelfDriverSel": use the maker's own driver
    int ispEnabled = 0;          // "ISP_Ena": programming and verification allowed
    int msFirmwareMode = 0;      // "ISP_MS F/W": act on the Memory Stick controller
    std::string driverFileName;  // at most 15 characters (16 bytes with terminator)
    int diskDriverSelected = 0;  // 1 when driverFileName starts with "RE20RERI.VAR"
    int selectedDevice = 0;
    int selectedDriveCount = 0;
    std::uint8_t discoveryStatus = 0;
    std::string statusText;
    std::string chipCode;
    int ispSuccessCount = 0;
    int ispErrorCount = 0;
    int ispTotalCount = 0;

    // What the main window's initialisation writes once the update data summary
    // has been shown. driverFileName keeps its value; the device table is the
    // discovery's and is cleared there.
    void ResetAtStart();
};

inline constexpr std::size_t kDriverFileNameMax = 15;

}  // namespace usbisp
