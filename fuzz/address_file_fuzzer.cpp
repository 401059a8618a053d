// The string address file: its read, and the patch it places into an image
// of every kind, which must stay inside the image or be refused whole.
#include <algorithm>

#include "firmware/image_file.h"
#include "firmware/image_patch.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace usbisp;
    fuzz::WriteFile("ROM.adr", data, size);
    sim::Bench bench = fuzz::MakeBench();
    std::string statusText;
    const OperatorMessages messages{fuzz::QuietView(), statusText};
    AddressRecord record;
    if (!LoadAddressRecord(bench, messages, "ROM.adr", record)) return 0;

    UpdateData update;
    update.stringManufactureLength = 7;
    update.stringProductLength = 12;
    update.strSerialActive = size % 2;
    update.vidActive = update.pidActive = 1;
    update.inquiryManufactureActive = update.inquiryProductActive = 1;
    update.inquiryVersionActive = update.deviceSettingActive = 1;
    const SerialDescriptor descriptor{};
    static FirmwareImage image;
    for (std::uint8_t type : {1, 2, 5, 6, 0x12}) {
        image.bytes.fill(0xAA);
        image.length = static_cast<std::uint32_t>(1 + size * 997 % kFirmwareImageSize);
        const auto plan = PlanPatch(ClassifyImage(type, kMarkerFE), record, update, descriptor);
        const bool applied = ApplyPatch(plan, image);
        if (applied != PatchFitsImage(plan, image.length)) __builtin_trap();
        // Nothing may be written past the loaded image.
        if (std::any_of(image.bytes.begin() + image.length, image.bytes.end(),
                        [](std::uint8_t b) { return b != 0xAA; }))
            __builtin_trap();
    }
    return 0;
}
