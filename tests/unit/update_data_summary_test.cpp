// The update data summary text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "updatedata/update_data_file.h"

namespace usbisp {
namespace {

constexpr char kSep[] = "\n=====================================================";
static_assert(sizeof kSep == 1 + 53 + 1);

// The system part for XP with no file names, and the update part with every
// item inactive.
const std::string kSystemTitle = std::string(kSep) + "\n==== SYSTEM Information For ISP" + kSep;
const std::string kUpdateTitle =
    std::string(kSep) + "\n====Update String Or Inquiry Information For ISP " + kSep;
const std::string kNoFiles =
    "\nISP USB ROMCODE: "
    "\nISP ADDRESS    : "
    "\nISP DE3001 ROM : ";
const std::string kAllInactive =
    "\nVID            : No Active"
    "\nPID            : No Active"
    "\nStr_Manufacture: No Active"
    "\nStr_Product    : No Active"
    "\nStr_Serial     : No Active"
    "\nInq_Manufacture: No Active"
    "\nInq_Product    : No Active"
    "\nInq_Version    : No Active"
    "\nDEV_Setting    : No Active";

TEST(UpdateDataSummary, EmptyRecordOnWindowsXp) {
    const UpdateData data;
    EXPECT_EQ(BuildUpdateDataSummary(data, 4, 0, "TAVDRV.SYS"),
              kSystemTitle + "\nOS            : Windows XP" + kNoFiles + kUpdateTitle +
                  kAllInactive + kSep);
}

TEST(UpdateDataSummary, SystemLineAndDriverLine) {
    const UpdateData data;
    const auto expect = [&](int osKind, int selfDriver, const std::string& lines) {
        EXPECT_EQ(BuildUpdateDataSummary(data, osKind, selfDriver, "ZQ_URDR.PDR"),
                  kSystemTitle + lines + kNoFiles + kUpdateTitle + kAllInactive + kSep)
            << "osKind " << osKind << " selfDriverMode " << selfDriver;
    };
    expect(1, 0, "\nOS            : Windows 98\nDevice Driver : ZQ_URDR.PDR");
    expect(2, 0, "\nOS            : Windows ME");
    expect(2, 1, "\nOS            : Windows ME\nDevice Driver : ZQ_URDR.PDR");
    expect(3, 1, "\nOS            : Windows 2K\nDevice Driver : ZQ_URDR.PDR");
    expect(4, 0, "\nOS            : Windows XP");
    expect(0, 0, "\nOS            : Unknown");
    expect(7, 0, "\nOS            : Unknown");
}

TEST(UpdateDataSummary, ActiveItemsShowTheirPadBytes) {
    UpdateData data;
    data.vid = 0x58f;
    data.vidActive = 1;
    data.pid = 0x6362;
    data.pidActive = 1;
    std::memcpy(data.stringManufacture.data(), "Generic                  ", 25);
    data.stringManufactureLength = 7;
    std::memcpy(data.stringProduct.data(), "USB Card Reader          ", 25);
    data.stringProductLength = 15;
    std::memcpy(data.strSerial.data(), "A1\0\0\0\0\0\0\0\0\0\0\0", 13);
    data.strSerialActive = 1;
    std::memcpy(data.inquiryManufacture.data(), "Maker    ", 9);
    data.inquiryManufactureActive = 1;
    std::memcpy(data.inquiryProduct.data(), "Flash Reader     ", 17);
    data.inquiryProductActive = 1;
    std::memcpy(data.inquiryVersion.data(), "1.00", 4);
    data.inquiryVersionActive = 1;
    std::memcpy(data.romCodeFile.data(), "ABC.BIN", 7);
    std::memcpy(data.addressFile.data(), "ABC.adr", 7);
    std::memcpy(data.msRomCodeFile.data(), "MS.BIN", 6);
    data.deviceSetting.fill(0xFF);
    data.deviceSetting[0] = 0x01;
    data.deviceSetting[1] = 0x80;
    data.deviceSetting[2] = 0x0c;
    data.deviceSetting[25] = 0x00;
    data.deviceSettingActive = 1;

    EXPECT_EQ(BuildUpdateDataSummary(data, 3, 0, "TAVDRV.SYS"),
              kSystemTitle +
                  "\nOS            : Windows 2K"
                  "\nISP USB ROMCODE: ABC.BIN"
                  "\nISP ADDRESS    : ABC.adr"
                  "\nISP DE3001 ROM : MS.BIN" +
                  kUpdateTitle +
                  "\nVID            : 0x058f "
                  "\nPID            : 0x6362 "
                  "\nStr_Manufacture: Generic                  "
                  "\nStr_Product    : USB Card Reader          "
                  "\nStr_Serial     : A1"
                  "\nInq_Manufacture: Maker    "
                  "\nInq_Product    : Flash Reader     "
                  "\nInq_Version    : 1.00"
                  "\nDEV_setting    : "
                  "\n         0 ~ 7 : 0x01 0x80 0x0c 0xff 0xff 0xff 0xff 0xff "
                  "\n         8 ~ 15: 0xff 0xff 0xff 0xff 0xff 0xff 0xff 0xff "
                  "\n        16 ~ 23: 0xff 0xff 0xff 0xff 0xff 0xff 0xff 0xff "
                  "\n        24 ~ 25: 0xff 0x00 " +
                  kSep);
}

}  // namespace
}  // namespace usbisp
