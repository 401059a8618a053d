// Where a firmware image carries its identity data: the two header bytes that
// say which layout it has, the string address record that places it, and the
// positions inside the identity block. The programming run stamps the data at
// these places and the emulated controller reads it back from there.
#pragma once

#include <cstddef>
#include <cstdint>

namespace usbisp {

inline constexpr std::uint8_t kMarkerFE = 0xFE;
inline constexpr std::uint8_t kMarkerFC = 0xFC;

enum class PatchMode { None, Full, SerialOnly };

// What the two header bytes (type code at 0, layout marker at 1) say about
// the image.
struct ImageKind {
    PatchMode mode = PatchMode::SerialOnly;
    bool lengthBytes = false;     // the string slots get their length bytes (types 1, 2)
    bool deviceSettings = false;  // the device settings block is written (type 6)
};

ImageKind ClassifyImage(std::uint8_t typeCode, std::uint8_t layoutMarker);

// The string address file: where the identity strings and the serial number
// descriptor sit in the image.
struct AddressRecord {
    std::int32_t baseOffset = 0;
    std::int32_t factorA = 0;
    std::int32_t factorB = 0;
};

// The file holds three little-endian 32-bit integers; nothing after them is
// read.
inline constexpr std::size_t kAddressRecordSize = 12;

// The three integers from the file's first bytes; false when fewer than
// kAddressRecordSize bytes are given.
bool DecodeAddressRecord(const std::uint8_t* bytes, std::size_t size, AddressRecord& record);

// Positions inside the identity block of a full-layout image, from its start
// P = baseOffset + kIdentityStart.
namespace identity_block {
inline constexpr std::int64_t kIdentityStart = 6;
inline constexpr std::int64_t kManufactureLength = 0x1A;
inline constexpr std::int64_t kManufacture = 0x1C;
inline constexpr std::int64_t kProductLength = 0x34;
inline constexpr std::int64_t kProduct = 0x36;
// The low byte of each 16-bit character cell of the third string slot.
inline constexpr std::int64_t kUserSerial = 0x50;
inline constexpr std::int64_t kVid = 0x8A;
inline constexpr std::int64_t kPid = 0x8C;
inline constexpr std::int64_t kInquiryVersion = 0x94;
inline constexpr std::int64_t kInquiryManufacture = 0x9C;
inline constexpr std::int64_t kInquiryProduct = 0xA4;
inline constexpr std::int64_t kDeviceSetting = 0xB6;
inline constexpr std::size_t kStringChars = 24;
inline constexpr std::size_t kSerialChars = 12;
}  // namespace identity_block

// Where the serial number descriptor (length, type, then UTF-16LE characters)
// goes: in a full-layout image relative to P, in a serial-only image
// relative to the image's start.
std::int64_t SerialDescriptorOffset(const ImageKind& kind, const AddressRecord& record);

}  // namespace usbisp
