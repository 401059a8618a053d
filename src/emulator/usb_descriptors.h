// What a card reader tells a USB host about its one interface: USB
// mass-storage, the SCSI command set carried by the Bulk-Only Transport, one
// bulk-in and one bulk-out endpoint; and the class requests that interface
// answers on the control pipe.
#pragma once

#include <cstdint>
#include <vector>

namespace usbisp::sim {

inline constexpr std::uint8_t kMassStorageClass = 0x08;
inline constexpr std::uint8_t kScsiTransparentSubclass = 0x06;
inline constexpr std::uint8_t kBulkOnlyProtocol = 0x50;

inline constexpr std::uint8_t kBulkInAddress = 0x81;
inline constexpr std::uint8_t kBulkOutAddress = 0x02;

enum class UsbSpeed { Full, High };

// Bulk endpoints carry packets of 64 bytes at full speed, 512 at high speed.
std::uint16_t BulkPacketSize(UsbSpeed speed);

// The interface descriptor followed by the bulk-in and the bulk-out endpoint
// descriptor, as they stand in the configuration descriptor at this speed.
std::vector<std::uint8_t> MassStorageInterfaceDescriptors(UsbSpeed speed);

// A request on the control pipe: the eight bytes of its setup packet.
struct UsbSetup {
    std::uint8_t requestType = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;
};

// The Bulk-Only class requests, addressed to the interface.
inline constexpr std::uint8_t kGetMaxLunRequest = 0xFE;
inline constexpr std::uint8_t kGetMaxLunRequestType = 0xA1;  // class, interface, in
inline constexpr std::uint8_t kResetRequest = 0xFF;
inline constexpr std::uint8_t kResetRequestType = 0x21;  // class, interface, out

}  // namespace usbisp::sim
