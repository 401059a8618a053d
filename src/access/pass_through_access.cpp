#include "access/pass_through_access.h"

#include "discovery/drive_scan.h"

namespace usbisp {

namespace {

// 3 at the start, 2 after the ISP entry, then 2, 2, 2 and 4 per attempt: a
// first-attempt success fills the bar to 15.
constexpr IspPathStyle kStyle{{3, 2, 2, 2, 2, 4, 0}, false, 0};

}  // namespace

std::uint8_t PassThroughAccess::Scan() {
    return ScanDrives(ctx_, DriveScanForm::Generic);
}

std::unique_ptr<IspPath> PassThroughAccess::SequencePath() {
    return std::make_unique<PassThroughIsp>(ctx_.platform, ctx_.transports,
                                            ctx_.devices.Selected(ctx_.app.selectedDevice));
}

void PassThroughAccess::Close() {
    PassThrough(ctx_.platform, ctx_.transports).CloseSelectedDrive();
}

const IspPathStyle& PassThroughIsp::style() const {
    return kStyle;
}

bool PassThroughIsp::Open(const OperatorMessages& messages) {
    if (passThrough_.OpenSelectedDrive(selected_.inUse != 0, selected_.driveLetters[0]))
        return true;
    messages.Line(kAccessDiskDriveFailed);
    return false;
}

bool PassThroughIsp::Transfer(std::span<const std::uint8_t> image, std::uint32_t imageLength,
                              std::uint8_t mode) {
    // The buffer is cleared before the copy, so the fill up to the block
    // boundary is zeros.
    passThrough_.LoadPayload(image.data(), imageLength);
    return passThrough_.IspTransfer(imageLength, RoundedLength(imageLength), mode);
}

}  // namespace usbisp
