// Decoding the identity block into a device record, and the known chips.
#include "discovery/identity.h"

#include <gtest/gtest.h>

#include <string>

namespace usbisp {
namespace {

using Hw = std::array<std::uint8_t, 3>;

struct IdentityTest : ::testing::Test {
    IdentityBlock block{};
    DeviceInfo slot;
    AppState app;

    void Put(std::size_t at, const std::string& bytes) {
        for (std::size_t i = 0; i < bytes.size(); ++i)
            block[at + i] = static_cast<std::uint8_t>(bytes[i]);
    }
    void Hardware(Hw hw) { Put(382, std::string(hw.begin(), hw.end())); }
};

template <std::size_t N>
std::string Text(const std::array<char, N>& field) {
    return std::string(field.begin(), field.end());
}

TEST_F(IdentityTest, FieldsFromTheirOffsets) {
    Put(8, "\x4D\x12\x62\x63");
    Put(46, "Generic Manufacturer 24c");
    Put(72, "USB Card Reader!");
    // A1B2C3D4E5F6 as UTF-16LE; the last unit above 0xFF gives its low byte.
    Put(98, std::string("A\0"
                        "1\0"
                        "B\0"
                        "2\0"
                        "C\0"
                        "3\0"
                        "D\0"
                        "4\0"
                        "E\0"
                        "5\0"
                        "F\0"
                        "\x36\x01",
                        24));
    Put(148, "\x01\x02\x03\x03\x05\x14\x01\x02");
    Put(156, "Flash Reader    ");
    Put(176, "Generic ");
    Put(184, "1.00");
    Put(188, "evMr.1b2");
    Put(378, "\x01\x02\x35\x14");
    Put(520, "\x09\x08\x07\x06\x05\x04\x03\x02");
    Hardware({0x76, 0x20, 0x43});
    slot.driveCount = 3;
    slot.driveLetters = {'E', 'F', 'G', 0, 0};
    slot.aspiAdapter = 2;

    DecodeIdentity(block, slot, app);
    EXPECT_EQ(slot.inUse, 1u);
    EXPECT_EQ(slot.vendorId, (std::array<std::uint8_t, 2>{0x12, 0x4D}));
    EXPECT_EQ(slot.productId, (std::array<std::uint8_t, 2>{0x63, 0x62}));
    EXPECT_EQ(Text(slot.usbManufacturer), "Generic Manufacturer 24c");
    EXPECT_EQ(Text(slot.usbProduct), "USB Card Reader!");
    EXPECT_EQ(Text(slot.usbSerial), "A1B2C3D4E5F6");
    EXPECT_EQ(slot.firmwareRevision, (std::array<std::uint8_t, 8>{1, 2, 3, 3, 5, 0x14, 1, 2}));
    EXPECT_EQ(Text(slot.inqProduct), "Flash Reader    ");
    EXPECT_EQ(Text(slot.inqManufacturer), "Generic ");
    EXPECT_EQ(Text(slot.inqRevision), "1.00");
    EXPECT_EQ(Text(slot.msFirmwareRevision), "verM1.2b");
    EXPECT_EQ(slot.firmwareRevisionOrg, (std::array<std::uint8_t, 4>{1, 2, 0x35, 0x14}));
    EXPECT_EQ(slot.hardwareRevision, (Hw{0x76, 0x20, 0x43}));
    EXPECT_EQ(slot.usb20FirmwareRevision, (std::array<std::uint8_t, 8>{9, 8, 7, 6, 5, 4, 3, 2}));
    EXPECT_EQ(app.chipCode, "762043");
    // What discovery manages stays.
    EXPECT_EQ(slot.driveCount, 3);
    EXPECT_EQ(slot.driveLetters, (std::array<char, 5>{'E', 'F', 'G', 0, 0}));
    EXPECT_EQ(slot.aspiAdapter, 2);
}

TEST_F(IdentityTest, UnknownChipLosesItsBytesButNotItsCode) {
    Hardware({0x12, 0x34, 0x56});
    DecodeIdentity(block, slot, app);
    EXPECT_EQ(slot.hardwareRevision, (Hw{0, 0, 0}));
    EXPECT_EQ(app.chipCode, "123456");

    Hardware({0x73, 0x40, 0x11});
    DecodeIdentity(block, slot, app);
    EXPECT_EQ(slot.hardwareRevision, (Hw{0x73, 0x40, 0x11}));
    EXPECT_EQ(app.chipCode, "734011");
}

TEST(KnownChips, ThirdByteCountsFor7620And7680Only) {
    EXPECT_TRUE(IsKnownChip({0x76, 0x20, 0x43}));
    EXPECT_FALSE(IsKnownChip({0x76, 0x20, 0x44}));
    EXPECT_TRUE(IsKnownChip({0x76, 0x80, 0x47}));
    EXPECT_FALSE(IsKnownChip({0x76, 0x80, 0x43}));
    EXPECT_TRUE(IsKnownChip({0x76, 0x50, 0x00}));
    EXPECT_TRUE(IsKnownChip({0x76, 0x50, 0xFF}));
    for (Hw hw : {Hw{0x73, 0x40, 0}, Hw{0x73, 0x44, 1}, Hw{0x73, 0x10, 2}, Hw{0x74, 0x10, 3},
                  Hw{0x74, 0x40, 4}, Hw{0x74, 0x60, 5}, Hw{0x73, 0x11, 6}, Hw{0x73, 0x53, 7}})
        EXPECT_TRUE(IsKnownChip(hw)) << ChipCodeText(hw);
    EXPECT_FALSE(IsKnownChip({0x73, 0x41, 0x00}));
    EXPECT_FALSE(IsKnownChip({0x00, 0x00, 0x00}));
}

TEST_F(IdentityTest, MemoryStickRevisionOnlyForChip7620) {
    Put(188, "evMr.1b2");
    Hardware({0x76, 0x80, 0x47});
    DecodeIdentity(block, slot, app);
    EXPECT_EQ(slot.msFirmwareRevision, (std::array<char, 8>{}));
    // Other chips only clear byte 4; a cleared slot stays all zero.
    slot.msFirmwareRevision.fill('x');
    DecodeIdentity(block, slot, app);
    EXPECT_EQ(Text(slot.msFirmwareRevision), std::string("xxxx\0xxx", 8));
}

}  // namespace
}  // namespace usbisp
