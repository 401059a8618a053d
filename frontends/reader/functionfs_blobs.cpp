#include "reader/functionfs_blobs.h"

#include <linux/usb/functionfs.h>

#include "emulator/usb_descriptors.h"
#include "platform/byte_order.h"

namespace usbisp::reader {

namespace {

// The interface descriptor and its two endpoints.
constexpr std::uint32_t kDescriptorsPerSpeed = 3;

}  // namespace

std::vector<std::uint8_t> FunctionFsDescriptors() {
    const auto full = sim::MassStorageInterfaceDescriptors(sim::UsbSpeed::Full);
    const auto high = sim::MassStorageInterfaceDescriptors(sim::UsbSpeed::High);
    // magic, length, flags, then the count of descriptors at each speed.
    std::vector<std::uint8_t> blob(20, 0);
    PutLe32(&blob[0], FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    PutLe32(&blob[8], FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
    PutLe32(&blob[12], kDescriptorsPerSpeed);
    PutLe32(&blob[16], kDescriptorsPerSpeed);
    blob.insert(blob.end(), full.begin(), full.end());
    blob.insert(blob.end(), high.begin(), high.end());
    PutLe32(&blob[4], static_cast<std::uint32_t>(blob.size()));
    return blob;
}

std::vector<std::uint8_t> FunctionFsStrings() {
    // magic, length, no strings in no language.
    std::vector<std::uint8_t> blob(16, 0);
    PutLe32(&blob[0], FUNCTIONFS_STRINGS_MAGIC);
    PutLe32(&blob[4], static_cast<std::uint32_t>(blob.size()));
    return blob;
}

}  // namespace usbisp::reader
