// Serves the reader's Bulk-Only front on a mounted FunctionFS: the control
// requests and the function's life events from ep0, the bulk pipes through
// asynchronous I/O on ep1 (bulk-in) and ep2 (bulk-out), one transfer at a
// time (bulk_transfers.h), so that a reset or an unplug can take back the one
// in flight. While a halt is held for the host's reset, the pipes are halted
// again every few milliseconds. SIGTERM and SIGINT end the service.
#pragma once

#include <functional>
#include <string>

#include "emulator/usb_bulk_only.h"

namespace usbisp::reader {

struct ServerHooks {
    // The descriptors are written and the endpoints open: the gadget may be
    // bound now. False ends the service.
    std::function<bool()> ready;
    // After every command, and after an unplug.
    std::function<void()> afterCommand;
    // The function was disabled (bus reset, deconfiguration or the cable
    // pulled): whether the host lost the reader.
    std::function<bool()> unpluggedOnDisable;
    // One line per command, when tracing.
    std::function<void(const std::string&)> trace;
};

// Runs until SIGTERM or SIGINT; false with `error` set when FunctionFS fails.
bool ServeFunctionFs(const std::string& dir, sim::UsbBulkOnlyFront& front, const ServerHooks& hooks,
                     std::string& error);

}  // namespace usbisp::reader
