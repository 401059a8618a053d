// The ASPI device check: the unit at the recorded address must still be the
// selected device.
#include <gtest/gtest.h>

#include <cstring>

#include "bench_reader_fixture.h"
#include "device/aspi.h"
#include "discovery/aspi_scan.h"
#include "support/fake_view.h"

namespace usbisp {
namespace {

constexpr char kBench[] = R"({"windows": "me", "aspi": {"adapters": 1, "latency": 0},
  "readers": [{"letters": "E", "aspi": [0, 2], "vid": "058f", "pid": "6362",
    "serial": "000000000001", "inquiry": {"vendor": "Generic", "product": "Flash Reader"},
    "firmwareRevision": "01 02 03 03 05 14 01 02"}]})";

template <std::size_t N>
void Set(std::array<char, N>& field, const char* text) {
    field.fill(' ');
    std::memcpy(field.data(), text, std::min(N, std::strlen(text)));
}

struct ConfirmTest : ::testing::Test {
    ConfirmTest() {
        // The record discovery would have made of the reader.
        DeviceInfo& d = devices.deviceSlots[0];
        d.inUse = 1;
        Set(d.inqManufacturer, "Generic");
        Set(d.inqProduct, "Flash Reader");
        Set(d.inqRevision, "");
        d.usbManufacturer.fill(0);
        d.usbProduct.fill(0);
        std::memcpy(d.usbSerial.data(), "000000000001", 12);
        d.vendorId = {0x05, 0x8F};
        d.productId = {0x63, 0x62};
        d.firmwareRevision = {1, 2, 3, 3, 5, 0x14, 1, 2};
        devices.deviceCount = 1;
        EXPECT_EQ(LoadAspi(fixture.bench(), transports.aspi), 0);
    }
    ~ConfirmTest() override { UnloadAspi(fixture.bench(), transports.aspi); }
    std::uint8_t Confirm(std::uint8_t target) {
        DiscoveryContext ctx{fixture.bench(), view, app, devices, updateData, transports};
        return AspiConfirmDevice(ctx, 0, target);
    }

    testing::BenchFixture fixture{kBench, false};
    test::FakeView view;
    AppState app;
    DeviceTable devices;
    UpdateData updateData;
    Transports transports;
};

TEST_F(ConfirmTest, TheSameDeviceAtItsAddress) {
    EXPECT_EQ(Confirm(2), 0);
    EXPECT_TRUE(view.boxes.empty());
    // The table is left as it was: the fresh identity has a record of its own.
    EXPECT_EQ(devices.deviceSlots[9].inUse, 0u);
}

TEST_F(ConfirmTest, AnotherDeviceOrNone) {
    // The same inquiry text with another serial string.
    std::memcpy(devices.deviceSlots[0].usbSerial.data(), "000000000002", 12);
    EXPECT_EQ(Confirm(2), 1);
    std::memcpy(devices.deviceSlots[0].usbSerial.data(), "000000000001", 12);
    devices.deviceSlots[0].firmwareRevision[7] = 3;
    EXPECT_EQ(Confirm(2), 1);
    devices.deviceSlots[0].firmwareRevision[7] = 2;
    // Nothing answers at target 3, without a box.
    EXPECT_EQ(Confirm(3), 1);
    EXPECT_TRUE(view.boxes.empty());
}

TEST_F(ConfirmTest, AFailedIdentityReadSaysSo) {
    // The reader in ISP mode refuses its identity: the box, and not the same.
    AspiTransport(fixture.bench(), transports.aspi).IspJump(0, 2);
    EXPECT_EQ(Confirm(2), 1);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "Windows ASPI status Error");
}

}  // namespace
}  // namespace usbisp
