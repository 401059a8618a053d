// The registry keys of the drive letters, letter for letter, and how a letter
// is read from them.
#include "discovery/drive_letters.h"

#include <gtest/gtest.h>

#include <cstring>

#include "bench_reader_fixture.h"

namespace usbisp {
namespace {

template <std::size_t N>
void Set(std::array<char, N>& field, const char* text) {
    field.fill(0);
    std::memcpy(field.data(), text, std::min(N, std::strlen(text)));
}

DeviceInfo Device() {
    DeviceInfo d;
    Set(d.inqManufacturer, "AB CD   ");
    Set(d.inqProduct, " Flash  Reader  ");
    Set(d.inqRevision, "1.0 ");
    d.vendorId = {0x05, 0x8F};
    d.productId = {0x63, 0x62};
    Set(d.usbSerial, "A1B2C3D4E5F6");
    return d;
}

TEST(DriveLetterKeys, EveryForm) {
    const DeviceInfo d = Device();
    EXPECT_EQ(DriveLetterKey(DriveLetterKeyForm::PortDriver65, d, 0),
              "Enum\\SCSI\\________USB_DISK_DRIVER_0\\ZOZEREDI&DISK&0000USB&"
              "VID_058f&PID_6362&A1B2C3D4E5F600");
    EXPECT_EQ(DriveLetterKey(DriveLetterKeyForm::PortDriver66, d, 5),
              "Enum\\SCSI\\AB_CD____Flash__Reader__1\\RE20DADI&DISK&0000USB&"
              "VID_058f&PID_6362&A1B2C3D4E5F605");
    // Full fields in the first segment; after VEN_, PROD_ and REV_ the trailing
    // spaces go and the others become underscores.
    EXPECT_EQ(DriveLetterKey(DriveLetterKeyForm::Aspi, d, 2),
              "Enum\\SCSI\\AB_CD____Flash__Reader__1\\USBSTOR&DISK&VEN_AB_CD&PROD__Flash__Reader"
              "&REV_1.0&A1B2C3D4E5F6&200");
}

TEST(DriveLetterKeys, AZeroByteEndsTheKey) {
    DeviceInfo d = Device();
    Set(d.usbSerial, "A1B2");  // the rest are zero bytes
    EXPECT_EQ(DriveLetterKey(DriveLetterKeyForm::PortDriver65, d, 1),
              "Enum\\SCSI\\________USB_DISK_DRIVER_0\\ZOZEREDI&DISK&0000USB&"
              "VID_058f&PID_6362&A1B2");
}

TEST(ReadDriveLetter, FoundMissingAndUnchecked) {
    testing::BenchFixture fixture(R"({"windows": "98", "drivers": ["ZIZIRADA.ZAV"],
        "readers": [{"letters": "EF", "vid": "058f", "pid": "6362", "serial": "A1B2C3D4E5F6"}]})");
    const std::string key =
        "Enum\\SCSI\\________USB_DISK_DRIVER_0\\ZOZEREDI&DISK&0000USB&"
        "VID_058f&PID_6362&A1B2C3D4E5F6";
    EXPECT_EQ(ReadDriveLetter(fixture.bench(), key + "01"), 'F');
    fixture.Take();
    // A missing key is still queried and closed; the letter stays 0.
    EXPECT_EQ(ReadDriveLetter(fixture.bench(), key + "02"), '\0');
    EXPECT_EQ(fixture.Take(),
              (std::vector<std::string>{
                  "io reg open \"Enum\\\\SCSI\\\\________USB_DISK_DRIVER_0\\\\ZOZEREDI&DISK&"
                  "0000USB&VID_058f&PID_6362&A1B2C3D4E5F602\" fail",
                  R"(io reg query "CurrentDriveLetterAssignment" fail "")", "io reg close"}));
    EXPECT_EQ(fixture.bench().openHandleCount(), 0u);
}

}  // namespace
}  // namespace usbisp
