#include "app/app_state.h"

namespace usbisp {

void AppState::ResetAtStart() {
    selfDriverMode = 0;
    diskDriverSelected = 0;
    discoveryStatus = 0;
    ispEnabled = 0;
    selectedDriveCount = 0;
    selectedDevice = 0;
    msFirmwareMode = 0;
    chipCode.clear();
    statusText.clear();
    ispTotalCount = 0;
    ispSuccessCount = 0;
    ispErrorCount = 0;
}

}  // namespace usbisp
