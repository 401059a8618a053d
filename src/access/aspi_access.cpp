#include "access/aspi_access.h"

#include "discovery/aspi_scan.h"

namespace usbisp {

namespace {

constexpr const char* kLoadFailed = "Load WNASPI32.DLL or Get Function Address Fail!!!";
constexpr const char* kNoAdapter = "No ASPI for WIN32 support detected!!!";

// 3 at the start, 2 after the ISP entry, then 1 after each compare: a
// first-attempt success leaves the bar at 6. Three seconds between the write's
// success line and the compare.
constexpr IspPathStyle kStyle{{3, 2, 0, 0, 0, 1, 0}, false, 3000};

}  // namespace

std::uint8_t AspiAccess::Scan() {
    return ScanAspiAdapters(ctx_);
}

std::unique_ptr<IspPath> AspiAccess::SequencePath() {
    return std::make_unique<AspiIsp>(ctx_);
}

AspiIsp::AspiIsp(const AccessContext& ctx)
    : ctx_(ctx),
      transport_(ctx.platform, ctx.transports.aspi),
      adapter_(ctx.devices.Selected(ctx.app.selectedDevice).aspiAdapter),
      target_(ctx.devices.Selected(ctx.app.selectedDevice).aspiTarget) {}

const IspPathStyle& AspiIsp::style() const {
    return kStyle;
}

bool AspiIsp::Open(const OperatorMessages& messages) {
    AspiState& state = ctx_.transports.aspi;
    if (LoadAspi(ctx_.platform, state) != 0) {
        messages.Line(kLoadFailed);
        ShowNoAspiBox(ctx_.view);
        return false;
    }
    if (!aspi::SupportReady(state.getSupportInfo())) {
        messages.Line(kNoAdapter);
        ShowNoAspiBox(ctx_.view);
        UnloadAspi(ctx_.platform, state);
        return false;
    }
    if (AspiConfirmDevice(ctx_, adapter_, target_) != 0) {
        messages.Line(kAccessDiskDriveFailed);
        UnloadAspi(ctx_.platform, state);
        return false;
    }
    return true;
}

void AspiIsp::Close() {
    UnloadAspi(ctx_.platform, ctx_.transports.aspi);
}

bool AspiIsp::Transfer(std::span<const std::uint8_t> image, std::uint32_t imageLength,
                       std::uint8_t mode) {
    // Whole blocks straight from the image buffer.
    const std::uint32_t rounded = RoundedLength(imageLength);
    if (rounded > image.size()) return false;
    return transport_.IspTransfer(adapter_, target_, imageLength, rounded, mode, image.data());
}

}  // namespace usbisp
