// The firmware commands: programming and verification of the controller's
// firmware, the Memory Stick controller update, and closing the access path.
#pragma once

#include "access/access_path.h"
#include "app/app_state.h"
#include "device/transports.h"
#include "firmware/firmware_state.h"
#include "view/views.h"

namespace usbisp {

struct FirmwareContext {
    Platform& platform;
    MainView& view;
    AppState& app;
    const UpdateData& updateData;
    DeviceTable& devices;
    Transports& transports;
    FirmwareState& firmware;

    AccessContext access() const { return {platform, view, app, devices, updateData, transports}; }
};

void ProgramFirmware(FirmwareContext& ctx);
void VerifyFirmware(FirmwareContext& ctx);
// mode 0 programs, mode 1 verifies the Memory Stick controller.
void UpdateMsController(FirmwareContext& ctx, int mode);
// Closes the handle of the access path in use.
void CloseDevice(FirmwareContext& ctx);

// Closes the access path when a firmware command ends, whichever way it ends.
// The command handler's load step opens the port driver before the command
// runs; a command that stops before its sequence (a missing file, a refused
// serial counter, an image the controller does not take) must not leave it
// open for the next load step to find. Closing what is closed does nothing.
class ClosesAccessPathOnReturn {
  public:
    explicit ClosesAccessPathOnReturn(FirmwareContext& ctx) : ctx_(ctx) {}
    ~ClosesAccessPathOnReturn() { CloseDevice(ctx_); }
    ClosesAccessPathOnReturn(const ClosesAccessPathOnReturn&) = delete;
    ClosesAccessPathOnReturn& operator=(const ClosesAccessPathOnReturn&) = delete;

  private:
    FirmwareContext& ctx_;
};

}  // namespace usbisp
