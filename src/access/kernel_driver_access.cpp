#include "access/kernel_driver_access.h"

#include "device/pass_through.h"
#include "discovery/drive_scan.h"

namespace usbisp {

namespace {

constexpr const char* kLoadFailed = "ERROR: Loading Tavdrv.Sys is Failed!!!";

// 3 at the start, 2 after the ISP entry, then 1, 2, 3 and 1 per attempt: a
// first-attempt success leaves the bar at 12.
constexpr IspPathStyle kStyle{{3, 2, 1, 2, 3, 1, 0}, false, 0};

}  // namespace

std::uint8_t KernelDriverAccess::Open() {
    return OpenKernelDriver(ctx_.platform, ctx_.transports, ctx_.app.driverFileName, true);
}

std::uint8_t KernelDriverAccess::Scan() {
    return ScanDrives(ctx_, DriveScanForm::OwnDriver);
}

std::unique_ptr<IspPath> KernelDriverAccess::SequencePath() {
    return std::make_unique<KernelDriverIsp>(ctx_.platform, ctx_.transports,
                                             ctx_.app.driverFileName);
}

void KernelDriverAccess::Close() {
    PassThrough(ctx_.platform, ctx_.transports).CloseSelectedDrive();
}

const IspPathStyle& KernelDriverIsp::style() const {
    return kStyle;
}

bool KernelDriverIsp::Open(const OperatorMessages& messages) {
    if (OpenKernelDriver(platform_, transports_, driverFileName_, false) == 0) return true;
    messages.Line(kLoadFailed);
    return false;
}

}  // namespace usbisp
