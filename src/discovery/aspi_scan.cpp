#include "discovery/aspi_scan.h"

#include <algorithm>

#include "device/aspi.h"
#include "discovery/drive_letters.h"
#include "discovery/drive_scan.h"
#include "discovery/identity.h"

namespace usbisp {

namespace {

constexpr const char* kLoadFailedLine = "Load WNASPI32.DLL or Get Function Address Fail \n";
constexpr const char* kNoAspi =
    " No ASPI for WIN32 support detected.\n This program need ASPI in WinMe system.";
constexpr const char* kStatusError = "Windows ASPI status Error";
constexpr std::uint8_t kTargets = 8;

InquiryIdentity First24(const std::array<char, 28>& identity) {
    InquiryIdentity text{};
    std::copy(identity.begin(), identity.begin() + text.size(), text.begin());
    return text;
}

void StatusErrorBox(MainView& view) {
    view.MessageBox(kStatusError, kProgramName, BoxIcon::None);
}

template <std::size_t N>
bool Same(const std::array<char, N>& a, const std::array<char, N>& b) {
    return a == b;
}

}  // namespace

void ShowNoAspiBox(MainView& view) {
    view.MessageBox(kNoAspi, kProgramName, BoxIcon::None);
}

std::uint8_t ScanAspiAdapters(DiscoveryContext& ctx) {
    AspiState& state = ctx.transports.aspi;
    // Start from an unloaded library.
    UnloadAspi(ctx.platform, state);
    if (LoadAspi(ctx.platform, state) != 0) {
        ctx.platform.WriteStdout(kLoadFailedLine);
        ShowNoAspiBox(ctx.view);
        return 1;
    }
    const std::uint32_t info = state.getSupportInfo();
    const std::uint8_t adapters = aspi::HostAdapters(info);
    if (!aspi::SupportReady(info)) {
        UnloadAspi(ctx.platform, state);
        return 1;
    }
    ctx.app.selectedDevice = 0;
    AspiTransport transport(ctx.platform, state);
    const InquiryIdentity fb = First24(ctx.updateData.fbInquiry);
    const InquiryIdentity fa = First24(ctx.updateData.faInquiry);
    for (std::uint8_t adapter = 0; adapter < adapters; ++adapter) {
        for (std::uint8_t target = 0; target < kTargets; ++target) {
            // The match and the error belong to this target alone.
            bool matched = false;
            transport.Inquiry(adapter, target, fb, fa, matched);
            if (!matched) continue;
            // The identity of the unit that answered, at its own target.
            if (!transport.ReadIdentity(adapter, target, ctx.devices.identityBlock.data())) {
                StatusErrorBox(ctx.view);
                UnloadAspi(ctx.platform, state);
                return 1;
            }
            AddAspiUnit(ctx, adapter, target);
        }
    }
    for (int o = 0; o < ctx.devices.deviceCount; ++o) {
        DeviceInfo& slot = ctx.devices.deviceSlots[static_cast<std::size_t>(o)];
        for (int k = 0; k < slot.driveCount; ++k)
            slot.driveLetters[static_cast<std::size_t>(k)] =
                ReadDriveLetter(ctx.platform, DriveLetterKey(DriveLetterKeyForm::Aspi, slot, k));
    }
    ctx.app.selectedDevice = 0;
    UnloadAspi(ctx.platform, state);
    return ctx.devices.deviceCount > 0 ? 0 : 1;
}

std::uint8_t AspiConfirmDevice(DiscoveryContext& ctx, std::uint8_t adapter, std::uint8_t target) {
    const DeviceInfo& selected = ctx.devices.Selected(ctx.app.selectedDevice);
    // The selected device's inquiry text, zero bytes left out, as the identity
    // its unit must answer with.
    InquiryIdentity identity{};
    std::size_t n = 0;
    auto append = [&](const auto& field) {
        for (char c : field)
            if (c != '\0' && n < identity.size()) identity[n++] = c;
    };
    append(selected.inqManufacturer);
    append(selected.inqProduct);
    append(selected.inqRevision);

    AspiTransport transport(ctx.platform, ctx.transports.aspi);
    bool matched = false;
    transport.Inquiry(adapter, target, identity, identity, matched);
    if (!matched) return 1;
    if (!transport.ReadIdentity(adapter, target, ctx.devices.identityBlock.data())) {
        StatusErrorBox(ctx.view);
        return 1;
    }
    DeviceInfo fresh;
    DecodeIdentity(ctx.devices.identityBlock, fresh, ctx.app);
    const bool same =
        Same(fresh.usbManufacturer, selected.usbManufacturer) &&
        Same(fresh.usbProduct, selected.usbProduct) && Same(fresh.usbSerial, selected.usbSerial) &&
        Same(fresh.inqManufacturer, selected.inqManufacturer) &&
        Same(fresh.inqProduct, selected.inqProduct) &&
        Same(fresh.inqRevision, selected.inqRevision) && fresh.vendorId == selected.vendorId &&
        fresh.productId == selected.productId &&
        fresh.firmwareRevision == selected.firmwareRevision;
    return same ? 0 : 1;
}

}  // namespace usbisp
