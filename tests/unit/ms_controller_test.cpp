// The Memory Stick companion controller: its revision text, the old main
// firmwares, and the switch as the bench's companion takes it.
#include "firmware/ms_controller.h"

#include <gtest/gtest.h>

#include "bench_reader_fixture.h"
#include "device/command_set.h"
#include "device/port_driver.h"
#include "emulator/ms_companion.h"

namespace usbisp {
namespace {

MsRevisionBytes Bytes(std::initializer_list<std::uint8_t> bytes) {
    MsRevisionBytes revision{};
    std::copy(bytes.begin(), bytes.end(), revision.begin());
    return revision;
}

TEST(MsRevision, CellsAreSwappedAndZeroBytesAddNothing) {
    struct Row {
        MsRevisionBytes bytes;
        std::string text;
    };
    const Row rows[] = {
        {Bytes({'e', 'v', 'M', 'r', '.', '1', 'b', '2'}), "verM1.2b"},
        {Bytes({}), ""},
        // A zero byte in the middle leaves no gap; the rest still counts.
        {Bytes({'e', 'v', 0, 'r', 'K', '4', 0, 0}), "ver4K"},
        {Bytes({0, 'v', 'M', 0, 0, 0, 0, 'x'}), "vMx"},
    };
    for (const Row& row : rows) EXPECT_EQ(MsRevisionText(row.bytes), row.text);
}

TEST(MsRevision, OnlyThreeWholeRevisionsAreOld) {
    for (const char* old : {"verM1.1a", "verM1.2a", "verM1.2b"})
        EXPECT_TRUE(IsOldMsMainFirmware(old)) << old;
    for (const char* current : {"verM1.3a", "verM1.2", "verM1.2b ", "VERM1.2B", ""})
        EXPECT_FALSE(IsOldMsMainFirmware(current)) << current;
}

TEST(MsJumpBlockOnTheBench, OnlyTheWholeSwitchBlockToTheIdentityAddressSwitches) {
    const MsJumpBlock block = MakeMsJumpBlock();
    const std::vector<std::uint8_t> exact(block.begin(), block.end());
    EXPECT_TRUE(sim::MsCompanion::IsSwitch(IdentityBlockAddress, exact));
    EXPECT_FALSE(sim::MsCompanion::IsSwitch(IdentityBlockAddress + 1, exact));
    std::vector<std::uint8_t> tail = exact;
    tail[511] = 1;
    EXPECT_FALSE(sim::MsCompanion::IsSwitch(IdentityBlockAddress, tail));
    std::vector<std::uint8_t> twoBlocks = exact;
    twoBlocks.resize(1024, 0);
    EXPECT_FALSE(sim::MsCompanion::IsSwitch(IdentityBlockAddress, twoBlocks));
}

// A reader with a companion (loader revision eight zero bytes) and one
// without, driven through the code-65 port driver.
class BenchCompanion : public ::testing::Test {
  protected:
    BenchCompanion()
        : fixture(R"({"windows": "98", "drivers": ["ZIZIRADA.ZAV"], "readers": [
              {"letters": "E", "memoryStick": {"main": "verM1.3a", "loader": ""},
               "answers": {"MsJump": ["9c", "00"]}},
              {"letters": "F"}]})",
                  false),
          driver(fixture.bench(), transports, device) {
        transports.portDriverHandle =
            fixture.bench().CreateFileA("\\\\.\\ZIZIRADA", 0xC0000000u, 0, 3, 0);
    }
    ~BenchCompanion() override { ClosePortDriver(fixture.bench(), transports); }

    bool Switch() { return driver.WriteAddressedBlock(block.data(), IdentityBlockAddress, 1); }
    std::uint8_t Status() {
        std::uint8_t status = 0xEE;
        EXPECT_TRUE(driver.GetIspStatus(status));
        return status;
    }
    std::string Revision() {
        IdentityBlock identity{};
        EXPECT_TRUE(driver.ReadIdentityBlock2(identity.data(), IdentityBlockAddress, 1));
        MsRevisionBytes bytes{};
        std::copy_n(identity.begin() + kMsRevisionOffset, bytes.size(), bytes.begin());
        return MsRevisionText(bytes);
    }

    testing::BenchFixture fixture;
    Transports transports;
    int device = 0;
    PortDriver65 driver;
    const MsJumpBlock block = MakeMsJumpBlock();
    const std::vector<std::uint8_t> image = std::vector<std::uint8_t>(3000, 0x42);
};

TEST_F(BenchCompanion, SwitchesStoresComparesAndSwitchesBack) {
    EXPECT_EQ(Revision(), "verM1.3a");
    // Outside its loader the transfers are the main controller's, which is not
    // in ISP mode.
    EXPECT_FALSE(driver.IspTransfer(image.data(), 3000, 0));

    ASSERT_TRUE(Switch());
    EXPECT_EQ(Status(), IspStatusJumpOk);
    EXPECT_EQ(Revision(), "");
    // Nothing stored yet: a different image.
    ASSERT_TRUE(driver.IspTransfer(image.data(), 3000, 1));
    EXPECT_EQ(Status(), 0x33);
    ASSERT_TRUE(driver.IspTransfer(image.data(), 3000, 0));
    EXPECT_EQ(Status(), IspStatusWriteOk);
    ASSERT_TRUE(driver.IspTransfer(image.data(), 3000, 1));
    EXPECT_EQ(Status(), IspStatusWriteOk);
    ASSERT_TRUE(driver.IspTransfer(image.data(), 2999, 1));
    EXPECT_EQ(Status(), 0x33);

    // The second switch answers as `answers` says, and still takes effect.
    ASSERT_TRUE(Switch());
    EXPECT_EQ(Status(), 0x00);
    EXPECT_EQ(Revision(), "verM1.3a");
}

TEST_F(BenchCompanion, AReplugStartsTheMainFirmware) {
    ASSERT_TRUE(Switch());
    fixture.bench().Replug();
    EXPECT_EQ(Revision(), "verM1.3a");
}

TEST_F(BenchCompanion, OtherBlockWritesFailInTransport) {
    // Another block, another address, a reader without a companion.
    const MsJumpBlock empty{};
    EXPECT_FALSE(driver.WriteAddressedBlock(empty.data(), IdentityBlockAddress, 1));
    EXPECT_FALSE(driver.WriteAddressedBlock(block.data(), 0, 1));
    device = 1;
    EXPECT_FALSE(Switch());
    device = 0;
    EXPECT_EQ(Revision(), "verM1.3a");
}

}  // namespace
}  // namespace usbisp
