// The composition root: every record of the process-wide state, built once by
// a front end over a platform and a view, and handed to the main window.
#pragma once

#include "access/access_path.h"
#include "app/app_state.h"
#include "device/aspi.h"
#include "device/transports.h"
#include "discovery/device_info.h"
#include "firmware/firmware.h"
#include "firmware/firmware_state.h"
#include "platform/platform.h"
#include "updatedata/update_data.h"
#include "updatedata/update_data_file.h"
#include "view/views.h"

namespace usbisp {

struct Core {
    Core(Platform& platformIn, MainView& viewIn) : platform(platformIn), view(viewIn) {}
    // The program's end: what is still held of ASPI is let go where it may be.
    ~Core() { ReleaseAspiAtExit(platform, transports.aspi); }
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;

    Platform& platform;
    MainView& view;
    AppState app;
    UpdateData updateData;
    KeyReader keyReader;
    DeviceTable devices;
    Transports transports;
    FirmwareState firmware;

    AccessContext access() { return {platform, view, app, devices, updateData, transports}; }
    FirmwareContext firmwareContext() {
        return {platform, view, app, updateData, devices, transports, firmware};
    }
};

}  // namespace usbisp
