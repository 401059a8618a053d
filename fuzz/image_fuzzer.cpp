// Image checking and patching, and the emulated controller reading back the
// identity of the patched image. The input is the controller's hardware
// revision (3 bytes), an address record (12 bytes) and the image itself.
#include <algorithm>

#include "emulator/firmware_identity.h"
#include "firmware/image_checks.h"
#include "firmware/image_patch.h"
#include "fuzz_support.h"
#include "platform/byte_order.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace usbisp;
    if (size < 16 || size > 15 + kFirmwareImageSize) return 0;
    const HardwareTriple triple{data[0], data[1], data[2]};
    AddressRecord record;
    record.baseOffset = static_cast<std::int32_t>(GetLe32(data + 3));
    record.factorA = static_cast<std::int32_t>(GetLe32(data + 7));
    record.factorB = static_cast<std::int32_t>(GetLe32(data + 11));
    static FirmwareImage image;
    image.length = static_cast<std::uint32_t>(size - 15);
    std::copy(data + 15, data + size, image.bytes.begin());
    ClearImageTail(image);

    static const char* const kChips[] = {"762043", "734000", "731000", "731100", "000000"};
    const ImageKind kind = ClassifyImage(image.bytes[0], image.bytes[1]);
    for (const char* chip : kChips)
        CheckCompatibility(image.bytes[0], image.bytes[1], triple, chip);

    UpdateData update;
    update.stringManufactureLength = 24;
    update.stringProductLength = 24;
    update.strSerialActive = data[0] & 1;
    update.vidActive = update.pidActive = update.deviceSettingActive = 1;
    const auto plan = PlanPatch(kind, record, update, SerialDescriptor{});
    if (ApplyPatch(plan, image) != PatchFitsImage(plan, image.length)) __builtin_trap();
    if (std::any_of(image.bytes.begin() + image.length, image.bytes.end(),
                    [](std::uint8_t b) { return b != 0; }))
        __builtin_trap();

    // What a bench reader reports once it runs this image: nothing read
    // outside it, and no string longer than its slot.
    const std::vector<std::uint8_t> held(image.bytes.begin(), image.bytes.begin() + image.length);
    sim::ReaderConfig reader;
    if (sim::TakeFirmwareIdentity(held, record, reader) &&
        (reader.manufacturer.size() > 24 || reader.product.size() > 24 ||
         reader.serial.size() > 12))
        __builtin_trap();
    return 0;
}
