// usbisp-reader's own pieces: what it writes to FunctionFS's ep0, its command
// line, and the firmware file it keeps up to date.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "reader/firmware_out.h"
#include "reader/functionfs_blobs.h"
#include "reader/reader_options.h"

namespace usbisp {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(FunctionFsBlobs, DescriptorsAtFullAndHighSpeed) {
    const Bytes expected = {
        0x03, 0x00, 0x00, 0x00,  // magic, version 2
        0x42, 0x00, 0x00, 0x00,  // 66 bytes in all
        0x03, 0x00, 0x00, 0x00,  // full- and high-speed descriptors follow
        0x03, 0x00, 0x00, 0x00,  // three at full speed
        0x03, 0x00, 0x00, 0x00,  // three at high speed
        // Full speed: mass storage, SCSI, Bulk-Only; 64-byte bulk packets.
        0x09, 0x04, 0x00, 0x00, 0x02, 0x08, 0x06, 0x50, 0x00,  //
        0x07, 0x05, 0x81, 0x02, 0x40, 0x00, 0x00,              //
        0x07, 0x05, 0x02, 0x02, 0x40, 0x00, 0x00,              //
        // High speed: 512-byte bulk packets.
        0x09, 0x04, 0x00, 0x00, 0x02, 0x08, 0x06, 0x50, 0x00,  //
        0x07, 0x05, 0x81, 0x02, 0x00, 0x02, 0x00,              //
        0x07, 0x05, 0x02, 0x02, 0x00, 0x02, 0x00,              //
    };
    EXPECT_EQ(reader::FunctionFsDescriptors(), expected);
}

TEST(FunctionFsBlobs, NoStrings) {
    const Bytes expected = {0x02, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00,
                            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(reader::FunctionFsStrings(), expected);
}

TEST(ReaderOptions, CommandLines) {
    struct Row {
        std::vector<std::string> args;
        std::string error;  // empty: accepted
        std::size_t reader = 1;
        std::string configfs = "/sys/kernel/config";
    };
    const Row rows[] = {
        {{"--bench", "b.json", "--udc", "dummy_udc.0"}, ""},
        {{"--bench", "b.json", "--udc", "dummy_udc.1", "--reader", "2", "--configfs", "/cfg",
          "--firmware-out", "fw.bin", "--trace"},
         "",
         2,
         "/cfg"},
        {{"--udc", "dummy_udc.0"}, "--bench FILE is missing"},
        {{"--bench", "b.json"}, "--udc NAME is missing"},
        {{"--bench", "b.json", "--udc"}, "--udc needs a value"},
        {{"--bench", "", "--udc", "u"}, "--bench needs a value"},
        {{"--bench", "b.json", "--udc", "../x"}, "--udc ../x is not a controller name"},
        {{"--bench", "b.json", "--udc", "u", "--reader", "0"},
         "--reader 0 is not a reader number (1, 2, ...)"},
        {{"--bench", "b.json", "--udc", "u", "--reader", "two"},
         "--reader two is not a reader number (1, 2, ...)"},
        {{"--bench", "b.json", "--udc", "u", "--script", "s"}, "unknown option --script"},
        {{"--help"}, ""},
    };
    for (const Row& row : rows) {
        std::string error;
        const auto options = reader::ParseReaderOptions(row.args, error);
        const std::string line = row.args.empty() ? "" : row.args.back();
        EXPECT_EQ(error, row.error) << line;
        EXPECT_EQ(options.has_value(), row.error.empty()) << line;
        if (!options) continue;
        EXPECT_EQ(options->reader, row.reader) << line;
        EXPECT_EQ(options->configfs, row.configfs) << line;
    }
}

Bytes ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(FirmwareOut, WrittenWholeAndOnlyWhenChanged) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("usbisp-reader-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto file = dir / "fw.bin";
    reader::FirmwareOut out(file.string());
    std::string error;
    // The first image is written even when empty.
    ASSERT_TRUE(out.Update({}, error)) << error;
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(ReadAll(file), Bytes{});
    ASSERT_TRUE(out.Update(Bytes(1000, 0x5A), error)) << error;
    EXPECT_EQ(ReadAll(file), Bytes(1000, 0x5A));
    EXPECT_FALSE(std::filesystem::exists(dir / "fw.bin.tmp"));
    // An unchanged image is not written again: a file put there stays.
    std::ofstream(file, std::ios::binary) << "x";
    ASSERT_TRUE(out.Update(Bytes(1000, 0x5A), error));
    EXPECT_EQ(ReadAll(file), Bytes{'x'});

    reader::FirmwareOut nowhere((dir / "missing" / "fw.bin").string());
    EXPECT_FALSE(nowhere.Update(Bytes(4, 1), error));
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    std::filesystem::remove_all(dir);
}

// An empty --udc, as "$(ls /sys/class/udc | head -n 1)" gives on a machine
// without a device controller, says that there is none.
TEST(ReaderOptions, AnEmptyControllerNameSaysWhenThereIsNone) {
    std::error_code ec;
    bool none = true;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/udc", ec)) {
        (void)entry;
        none = false;
    }
    std::string error;
    EXPECT_FALSE(reader::ParseReaderOptions({"--bench", "b.json", "--udc", ""}, error));
    EXPECT_EQ(error, none ? "--udc needs a value: nothing in /sys/class/udc, this machine has no "
                            "USB device controller (dummy_hcd makes one for tests)"
                          : "--udc needs a value");
}

}  // namespace
}  // namespace usbisp
