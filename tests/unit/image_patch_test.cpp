// Stamping identity data and the serial descriptor into an image.
#include "firmware/image_patch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace usbisp {
namespace {

template <std::size_t N>
void Put(std::array<char, N>& field, const std::string& text, char pad) {
    field.fill(0);
    for (std::size_t i = 0; i + 1 < N; ++i) field[i] = i < text.size() ? text[i] : pad;
}

// Every item of DEVICE.TXT given.
UpdateData FullData() {
    UpdateData d;
    d.vid = 0x058F;
    d.vidActive = 1;
    d.pid = 0x6362;
    d.pidActive = 1;
    Put(d.stringManufacture, "Maker", ' ');
    d.stringManufactureLength = 5;
    Put(d.stringProduct, "Card Reader", ' ');
    d.stringProductLength = 11;
    Put(d.inquiryManufacture, "VEND", ' ');
    d.inquiryManufactureActive = 1;
    Put(d.inquiryProduct, "PROD", ' ');
    d.inquiryProductActive = 1;
    Put(d.inquiryVersion, "1.23", ' ');
    d.inquiryVersionActive = 1;
    for (std::size_t i = 0; i < d.deviceSetting.size(); ++i)
        d.deviceSetting[i] = static_cast<std::uint8_t>(0xC0 + i);
    d.deviceSettingActive = 1;
    return d;
}

const SerialDescriptor kDescriptor = {0x1A, 0x03, '5', 0, '7', 0, '3', 0, 'B', 0, '1', 0, '2', 0,
                                      '0',  0,    '1', 0, '0', 0, '1', 0, '2', 0, '3', 0};

class Patched : public ::testing::Test {
  protected:
    // A 4 KB image of 0xEE; the identity block at P = 0x100 + 6, the serial
    // descriptor on the third string slot (6 x 13 = 78).
    void SetUp() override {
        image.bytes.fill(0xEE);
        image.length = 4096;
    }
    void Patch(std::uint8_t type, std::uint8_t marker, const UpdateData& data) {
        image.bytes[0] = type;
        image.bytes[1] = marker;
        ASSERT_TRUE(
            ApplyPatch(PlanPatch(ClassifyImage(type, marker), record, data, kDescriptor), image));
    }
    std::string At(std::size_t offset, std::size_t n) const {
        return std::string(reinterpret_cast<const char*>(image.bytes.data() + offset), n);
    }
    static constexpr std::size_t P = 0x106;
    FirmwareImage image;
    AddressRecord record{0x100, 6, 13};
};

TEST_F(Patched, TypeOneWritesEveryFieldWithLengthBytesButNoDeviceSettings) {
    Patch(1, 0xFE, FullData());
    EXPECT_EQ(image.bytes[P + 0x8A], 0x8F);
    EXPECT_EQ(image.bytes[P + 0x8B], 0x05);
    EXPECT_EQ(image.bytes[P + 0x8C], 0x62);
    EXPECT_EQ(image.bytes[P + 0x8D], 0x63);
    EXPECT_EQ(image.bytes[P + 0x1A], 12);  // (5 + 1) x 2
    EXPECT_EQ(image.bytes[P + 0x1B], 0xEE);
    EXPECT_EQ(At(P + 0x1C, 24), "Maker                   ");
    EXPECT_EQ(image.bytes[P + 0x34], 24);  // (11 + 1) x 2
    EXPECT_EQ(At(P + 0x36, 24), "Card Reader             ");
    EXPECT_EQ(At(P + 0x9C, 8), "VEND    ");
    EXPECT_EQ(At(P + 0xA4, 16), "PROD            ");
    EXPECT_EQ(At(P + 0x94, 4), "1.23");
    EXPECT_EQ(image.bytes[P + 0xB6], 0xEE);
    // The generated descriptor lands on the third slot.
    EXPECT_EQ(0, std::memcmp(image.bytes.data() + P + 0x4E, kDescriptor.data(), 26));
    EXPECT_EQ(image.bytes[P + 0x4E + 26], 0xEE);
}

TEST_F(Patched, TypeFiveLeavesTheLengthBytesAndTypeSixAddsDeviceSettings) {
    Patch(5, 0xFE, FullData());
    EXPECT_EQ(image.bytes[P + 0x1A], 0xEE);
    EXPECT_EQ(image.bytes[P + 0x34], 0xEE);
    EXPECT_EQ(At(P + 0x1C, 5), "Maker");
    EXPECT_EQ(image.bytes[P + 0xB6], 0xEE);

    SetUp();
    Patch(6, 0xFE, FullData());
    EXPECT_EQ(image.bytes[P + 0x1A], 0xEE);
    for (std::size_t i = 0; i < 26; ++i) EXPECT_EQ(image.bytes[P + 0xB6 + i], 0xC0 + i);
    EXPECT_EQ(image.bytes[P + 0xB6 + 26], 0xEE);
}

TEST_F(Patched, TypeTwoWithAUserSerialWritesItsLowBytesAndNoDescriptor) {
    UpdateData data = FullData();
    Put(data.strSerial, "USER12", '\0');
    data.strSerialActive = 1;
    Patch(2, 0xFE, data);
    EXPECT_EQ(image.bytes[P + 0x4E], 0xEE);  // the slot's length byte stays
    const std::string expected = "USER12";
    for (std::size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(image.bytes[P + 0x50 + 2 * i], i < 6 ? expected[i] : 0) << i;
        EXPECT_EQ(image.bytes[P + 0x51 + 2 * i], 0xEE) << i;
    }
}

TEST_F(Patched, InactiveItemsAreLeftAsFound) {
    Patch(1, 0xFE, UpdateData{});
    for (std::size_t off : {0x1A, 0x1C, 0x34, 0x36, 0x8A, 0x8C, 0x94, 0x9C, 0xA4, 0xB6})
        EXPECT_EQ(image.bytes[P + off], 0xEE) << off;
    EXPECT_EQ(0, std::memcmp(image.bytes.data() + P + 0x4E, kDescriptor.data(), 26));
}

TEST_F(Patched, ALegacyImageGetsOnlyTheDescriptorAtBasePlusTwo) {
    UpdateData data = FullData();
    Put(data.strSerial, "AB12", '\0');
    data.strSerialActive = 1;
    Patch(0x00, 0x00, data);
    const SerialDescriptor expected = {0x1A, 0x03, 'A', 0, 'B', 0, '1', 0, '2', 0, 0, 0, 0,
                                       0,    0,    0,   0, 0,   0, 0,   0, 0,   0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(image.bytes.data() + 0x100 + 2 + 78, expected.data(), 26));
    EXPECT_EQ(image.bytes[0x100 + 2 + 78 - 1], 0xEE);
    EXPECT_EQ(image.bytes[0x100 + 2 + 78 + 26], 0xEE);
    EXPECT_EQ(image.bytes[P + 0x8A], 0xEE);
}

TEST_F(Patched, ImagesThatNeedNoPatchAreLeftWhole) {
    const FirmwareImage before = image;
    Patch(3, 0xFE, FullData());
    Patch(4, 0xFC, FullData());
    EXPECT_EQ(0, std::memcmp(image.bytes.data() + 2, before.bytes.data() + 2, 4094));
}

TEST_F(Patched, ARecordPointingOutsideTheImageWritesNothing) {
    image.length = 0x106 + 0xB6;  // ends before the device settings
    const FirmwareImage before = image;
    const UpdateData data = FullData();
    EXPECT_FALSE(ApplyPatch(PlanPatch(ClassifyImage(6, 0xFE), record, data, kDescriptor), image));
    EXPECT_TRUE(ApplyPatch(PlanPatch(ClassifyImage(5, 0xFE), record, data, kDescriptor), image));

    image = before;
    for (const AddressRecord& bad : {AddressRecord{-0x200, 6, 13}, AddressRecord{0x100, 1000, 1000},
                                     AddressRecord{0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF}}) {
        EXPECT_FALSE(ApplyPatch(PlanPatch(ClassifyImage(0, 0), bad, data, kDescriptor), image));
        EXPECT_FALSE(ApplyPatch(PlanPatch(ClassifyImage(1, 0xFE), bad, data, kDescriptor), image));
    }
    EXPECT_EQ(0, std::memcmp(image.bytes.data(), before.bytes.data(), image.bytes.size()));
}

TEST(ImageKind, FromTheTwoHeaderBytes) {
    struct Row {
        std::uint8_t type, marker;
        PatchMode mode;
        bool lengthBytes, deviceSettings;
    };
    const Row rows[] = {
        {1, 0xFE, PatchMode::Full, true, false},
        {2, 0xFE, PatchMode::Full, true, false},
        {3, 0xFE, PatchMode::None, false, false},
        {4, 0xFC, PatchMode::None, false, false},
        {5, 0xFE, PatchMode::Full, false, false},
        {6, 0xFE, PatchMode::Full, false, true},
        {0x12, 0xFE, PatchMode::SerialOnly, false, false},
        {4, 0xFE, PatchMode::SerialOnly, false, false},
        {1, 0xFC, PatchMode::SerialOnly, false, false},
        {3, 0x00, PatchMode::SerialOnly, false, false},
    };
    for (const Row& r : rows) {
        const ImageKind kind = ClassifyImage(r.type, r.marker);
        EXPECT_EQ(kind.mode, r.mode) << int(r.type) << " " << int(r.marker);
        EXPECT_EQ(kind.lengthBytes, r.lengthBytes) << int(r.type);
        EXPECT_EQ(kind.deviceSettings, r.deviceSettings) << int(r.type);
    }
}

}  // namespace
}  // namespace usbisp
