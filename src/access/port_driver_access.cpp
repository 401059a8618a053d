#include "access/port_driver_access.h"

namespace usbisp {

namespace {

// 1 at the start, 1 after the ISP entry, 1 after each of the write, its
// status, its check and the verify, and 1 at success: a first-attempt success
// leaves the bar at 7. The text field shows the status text at once.
constexpr IspPathStyle kStyle{{1, 1, 1, 1, 1, 1, 1}, true, 0};

}  // namespace

std::uint8_t PortDriverAccess::Open() {
    const std::string& name = ctx_.app.driverFileName;
    return form_ == PortScanForm::Code66 ? OpenPortDriver66(ctx_.platform, ctx_.transports, name)
                                         : OpenPortDriver65(ctx_.platform, ctx_.transports, name);
}

void PortDriverAccess::AfterDiscovery(std::uint8_t status) {
    // The code-65 scan leaves the driver open; the main window closes it after
    // every discovery, so that the next load step finds it closed. (After a
    // code-66 scan, which closes its own, this finds nothing open.)
    (void)status;
    ClosePortDriver(ctx_.platform, ctx_.transports);
}

std::unique_ptr<IspPath> PortDriverAccess::SequencePath() {
    if (form_ == PortScanForm::Code66)
        return std::make_unique<PortDriver66Isp>(ctx_.platform, ctx_.transports,
                                                 ctx_.app.selectedDevice);
    return std::make_unique<PortDriver65Isp>(ctx_.platform, ctx_.transports,
                                             ctx_.app.selectedDevice);
}

const IspPathStyle& PortDriver65Isp::style() const {
    return kStyle;
}

const IspPathStyle& PortDriver66Isp::style() const {
    return kStyle;
}

bool PortDriver66Isp::Transfer(std::span<const std::uint8_t> image, std::uint32_t imageLength,
                               std::uint8_t mode) {
    // The whole blocks come straight from the image buffer; the transfer goes
    // to the device the jump and the status reads address.
    const std::uint32_t rounded = RoundedLength(imageLength);
    if (rounded > image.size()) return false;
    return driver_.IspTransfer(static_cast<std::uint32_t>(selectedDevice_), imageLength, rounded,
                               mode, image.data());
}

}  // namespace usbisp
