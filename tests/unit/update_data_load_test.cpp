// Loading DEVICE.TXT into the update data record and showing its summary.
#include <array>
#include <string>

#include "update_data_fixture.h"

namespace usbisp::testing {
namespace {

constexpr char kSep[] = "\n=====================================================";
static_assert(sizeof kSep == 1 + 53 + 1);

const std::string kXpSystemPart =
    std::string(kSep) + "\n==== SYSTEM Information For ISP" + kSep + "\nOS            : Windows XP";
const std::string kUpdateTitle =
    std::string(kSep) + "\n====Update String Or Inquiry Information For ISP " + kSep;

template <std::size_t N>
std::string Bytes(const std::array<char, N>& field) {
    return std::string(field.data(), N);
}

class LoadTest : public DeviceFileTest {
  protected:
    LoadTest() { app.osKind = OsWinXP; }

    // Loads and returns the summary box's text.
    std::string Load() {
        view.boxes.clear();
        LoadUpdateData(bench(), view, app, data, reader);
        if (view.boxes.empty()) return {};
        EXPECT_EQ(view.boxes.back().caption, "User ISP Update Data Dialog");
        EXPECT_EQ(view.boxes.back().icon, BoxIcon::None);
        return view.boxes.back().text;
    }

    AppState app;
    RecordingView view;
    UpdateData data;
};

TEST_F(LoadTest, FullRecipe) {
    WriteDeviceFile(
        "// recipe for the card reader line\r\n"
        "ISP_ROMCODE = \"ABC.BIN\";\r\n"
        "MS_ISP_ROMCODE = \"MS1.BIN\";\r\n"
        "VID = \"058f\";\r\n"
        "PID = \"6A62\";\r\n"
        "String_Manufacture = \"Generic\";\r\n"
        "String_Product = \"USB Card Reader\";\r\n"
        "QX~@$^_Str_Serial = \"A1\";\r\n"
        "Inquiry_Manufacture = \"Maker\";\r\n"
        "Inquiry_Product = \"Flash Reader\";\r\n"
        "Inquiry_Version = \"1.00\";\r\n"
        "FA_Inquiry_Manufacture = \"Generic\";\r\n"
        "FA_Inquiry_Product = \"SD Reader\";\r\n"
        "FA_Inquiry_Version = \"2.0\";\r\n"
        "FB_Inquiry_Product = \"CF Reader\";\r\n"
        "FB_Inquiry_Version = \"3.00\";\r\n"
        "Device_setting = \"0x01,0x80, 0x0C\";\r\n");
    Load();
    ASSERT_EQ(view.boxes.size(), 1u);

    EXPECT_EQ(data.vid, 0x058fu);
    EXPECT_EQ(data.vidActive, 1);
    EXPECT_EQ(data.pidActive, 1);
    EXPECT_EQ(data.pid, 0x6a62u);
    EXPECT_EQ(Bytes(data.stringManufacture), std::string("Generic                  \0", 26));
    EXPECT_EQ(data.stringManufactureLength, 7);
    EXPECT_EQ(data.stringProductLength, 15);
    EXPECT_EQ(Bytes(data.strSerial), std::string("A1\0\0\0\0\0\0\0\0\0\0\0\0", 14));
    EXPECT_EQ(Bytes(data.inquiryManufacture), std::string("Maker    \0", 10));
    EXPECT_EQ(Bytes(data.inquiryProduct), std::string("Flash Reader     \0", 18));
    EXPECT_EQ(Bytes(data.romCodeFile), std::string("ABC.BIN\0\0\0\0\0\0\0", 14));
    EXPECT_EQ(Bytes(data.addressFile), std::string("ABC.adr\0\0\0\0\0\0\0", 14));
    // A version is taken only with exactly 4 characters.
    EXPECT_EQ(Bytes(data.faInquiry), "Generic SD Reader           ");
    EXPECT_EQ(Bytes(data.fbInquiry), "        CF Reader       3.00");

    // Every key is looked up with an open and a close of its own.
    EXPECT_EQ(bench().counts.opens, 17);
    EXPECT_EQ(bench().counts.closes, 17);
}

TEST_F(LoadTest, AddressFileNeedsABaseNameOfOneToEightCharacters) {
    const std::pair<const char*, std::string> cases[] = {
        {"ABCDEFGH.BIN", "ABCDEFGH.adr"},
        {"ABCDEFGHI.BN", ""},
        {"A.B.BIN", "A.adr"},
        {".BIN", ""},
        {"ROMCODE", ""},
    };
    for (const auto& [name, address] : cases) {
        SCOPED_TRACE(name);
        WriteDeviceFile(std::string("ISP_ROMCODE = \"") + name + "\";");
        Load();
        EXPECT_EQ(std::string(data.romCodeFile.data()), name);
        EXPECT_EQ(std::string(data.addressFile.data()), address);
    }
}

TEST_F(LoadTest, DeviceSettingItems) {
    // Lower-case 'x' only; the character after each pair is skipped unseen.
    WriteDeviceFile("Device_setting = \"0x7f 0X11 0xa5\";");
    Load();
    EXPECT_EQ(data.deviceSettingActive, 1);
    std::array<std::uint8_t, 26> expected{};
    expected.fill(0xFF);
    expected[0] = 0x7f;
    expected[1] = 0xa5;
    EXPECT_EQ(data.deviceSetting, expected);

    std::string items;
    for (int i = 0; i < 26; ++i) items += std::string("x") + "0123456789abcdefABCDEFabcd"[i] + "0,";
    WriteDeviceFile("Device_setting = \"" + items + "\";");
    Load();
    ASSERT_EQ(data.deviceSettingActive, 1);
    EXPECT_EQ(data.deviceSetting[0], 0x00);
    EXPECT_EQ(data.deviceSetting[25], 0xd0);
    const auto full = data.deviceSetting;

    // One item more than the block holds: refused, the block left as it was.
    WriteDeviceFile("Device_setting = \"" + items + "x11\";");
    Load();
    EXPECT_EQ(data.deviceSettingActive, 0);
    EXPECT_EQ(data.deviceSetting, full);
}

TEST_F(LoadTest, SecondLoadAfterTheFileChanged) {
    WriteDeviceFile(
        "VID = \"0A51\"; PID = \"1234\"; String_Manufacture = \"First\";\n"
        "ISP_ROMCODE = \"OLD.BIN\"; MS_ISP_ROMCODE = \"MSOLD.BIN\";\n"
        "FA_Inquiry_Manufacture = \"Vendor\"; FB_Inquiry_Version = \"9.99\";\n"
        "Device_setting = \"0x01\";\n");
    Load();
    EXPECT_EQ(data.stringManufactureLength, 5);
    EXPECT_EQ(data.deviceSettingActive, 1);

    WriteDeviceFile("PID = \"4321\";\nInquiry_Version = \"2.10\";\n");
    const std::string summary = Load();
    ASSERT_EQ(view.boxes.size(), 1u);
    // The refused VID of the first load still refuses the PID.
    EXPECT_EQ(data.vid, 0x0a51u);
    EXPECT_EQ(data.pid, 0x4321u);
    EXPECT_EQ(data.pidActive, 0);
    // Items not given again are inactive; their bytes stay, unread.
    EXPECT_EQ(data.stringManufactureLength, 0);
    EXPECT_EQ(data.deviceSettingActive, 0);
    EXPECT_EQ(data.deviceSetting[0], 0x01);
    // File names are cleared and the inquiry identities refilled.
    EXPECT_EQ(Bytes(data.romCodeFile), std::string(14, '\0'));
    EXPECT_EQ(Bytes(data.msRomCodeFile), std::string(14, '\0'));
    EXPECT_EQ(Bytes(data.faInquiry), std::string(28, ' '));
    EXPECT_EQ(Bytes(data.fbInquiry), std::string(28, ' '));

    EXPECT_EQ(summary, kXpSystemPart +
                           "\nISP USB ROMCODE: "
                           "\nISP ADDRESS    : "
                           "\nISP DE3001 ROM : " +
                           kUpdateTitle +
                           "\nVID            : No Active"
                           "\nPID            : No Active"
                           "\nStr_Manufacture: No Active"
                           "\nStr_Product    : No Active"
                           "\nStr_Serial     : No Active"
                           "\nInq_Manufacture: No Active"
                           "\nInq_Product    : No Active"
                           "\nInq_Version    : 2.10"
                           "\nDEV_Setting    : No Active" +
                           kSep);
}

}  // namespace
}  // namespace usbisp::testing
