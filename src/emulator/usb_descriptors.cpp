#include "emulator/usb_descriptors.h"

#include "platform/byte_order.h"

namespace usbisp::sim {

namespace {

constexpr std::uint8_t kInterfaceDescriptorType = 0x04;
constexpr std::uint8_t kEndpointDescriptorType = 0x05;
constexpr std::uint8_t kInterfaceLength = 9;
constexpr std::uint8_t kEndpointLength = 7;
constexpr std::uint8_t kBulk = 0x02;

void AddEndpoint(std::vector<std::uint8_t>& out, std::uint8_t address, std::uint16_t packet) {
    const std::size_t at = out.size();
    out.insert(out.end(), {kEndpointLength, kEndpointDescriptorType, address, kBulk, 0, 0, 0});
    PutLe16(&out[at + 4], packet);
}

}  // namespace

std::uint16_t BulkPacketSize(UsbSpeed speed) {
    return speed == UsbSpeed::High ? 512 : 64;
}

std::vector<std::uint8_t> MassStorageInterfaceDescriptors(UsbSpeed speed) {
    // Interface 0, no alternate setting, two endpoints, no string.
    std::vector<std::uint8_t> out = {
        kInterfaceLength,         kInterfaceDescriptorType, 0, 0, 2, kMassStorageClass,
        kScsiTransparentSubclass, kBulkOnlyProtocol,        0};
    AddEndpoint(out, kBulkInAddress, BulkPacketSize(speed));
    AddEndpoint(out, kBulkOutAddress, BulkPacketSize(speed));
    return out;
}

}  // namespace usbisp::sim
