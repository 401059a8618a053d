// The device report of the main window: what is known about the selected
// device, under the running status text, and its name and drive letters.
#pragma once

#include <string>

#include "app/app_state.h"
#include "discovery/device_info.h"
#include "view/views.h"

namespace usbisp {

struct DeviceReport {
    std::string report;  // for the report field 1021
    std::string name;    // for the name field 1024
};

// Builds the report of deviceSlots[selectedDevice]. Rebuilds app.chipCode and
// app.selectedDriveCount as it goes.
DeviceReport BuildDeviceReport(AppState& app, const DeviceTable& devices);

// Builds the report and puts it into the report and name fields.
void ShowDeviceReport(MainView& view, AppState& app, const DeviceTable& devices);

}  // namespace usbisp
