// The string address file: its read, and the patch it places into an image
// of every kind, which must stay inside the image or be refused whole.
#include <algorithm>
#include <cstring>

#include "firmware/image_file.h"
#include "firmware/image_patch.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace usbisp;
    fuzz::MemoryBench& bench = fuzz::BenchWith("ROM.adr", data, size);
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
    // Every byte is 0xAA before each patch: the image's bytes are filled
    // again after it, those past the image are held to it by the check.
    static FirmwareImage image = [] {
        FirmwareImage blank;
        blank.bytes.fill(0xAA);
        return blank;
    }();
    static const auto kBlank = image.bytes;
    for (std::uint8_t type : {1, 2, 5, 6, 0x12}) {
        image.length = static_cast<std::uint32_t>(1 + size * 997 % kFirmwareImageSize);
        const auto plan = PlanPatch(ClassifyImage(type, kMarkerFE), record, update, descriptor);
        const bool applied = ApplyPatch(plan, image);
        if (applied != PatchFitsImage(plan, image.length)) __builtin_trap();
        // Nothing may be written past the loaded image (compared whole, not
        // byte by byte, which would cost more than the parsing).
        if (std::memcmp(image.bytes.data() + image.length, kBlank.data() + image.length,
                        image.bytes.size() - image.length) != 0)
            __builtin_trap();
        std::fill(image.bytes.begin(), image.bytes.begin() + image.length, 0xAA);
    }
    return 0;
}
