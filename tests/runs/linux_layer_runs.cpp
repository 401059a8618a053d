// The Linux layer through its SG_IO seam with the bench behind it: the
// requests as the kernel receives them, and what the layer does with a device
// it may not use or that disappears during a run.
#include <gtest/gtest.h>

#include <tuple>

#include "device/pass_through.h"
#include "firmware_runs.h"
#include "platform/linux/linux_platform.h"
#include "platform/sim/bench_config.h"
#include "support/sg_io_seam.h"

namespace usbisp::test::fw {
namespace {

using Lines = std::vector<std::string>;

const std::string kOpenE = R"(io open "\\\\.\\E:" ok access=0xc0000000 share=0x3 flags=0x0)";
const std::string kCloseE = R"(io close "\\\\.\\E:")";
const std::string kIoctlE = R"(io ioctl "\\\\.\\E:" 0x4d004 )";
const std::string kInquiry =
    kIoctlE + "in=44 out=116 ok cdb=120000002400000000000000 dir=in xfer=36 timeout=2 scsi=00";

class LinuxLayerRuns : public ::testing::Test {
  protected:
    void SetUp() override {
        dir.Write("DEVICE.TXT", DeviceTxt());
        dir.WriteBytes("ROM.BIN", Image(1000, 5, 0xFE));
        dir.WriteBytes("ROM.adr", AddressFile(0x100, 6, 13));
        dir.Write("SERIAL.TXT", "0x11 0x01 0x0123");
    }
    SeamRun Run(const std::string& script, const std::function<void(BenchSgDriver&)>& setUp = {}) {
        dir.Write("BENCH.JSON", BenchJson(Reader{}));
        dir.Write("SCRIPT.TXT", script);
        script::HeadlessOptions options;
        options.scriptPath = dir.path() + "/SCRIPT.TXT";
        options.benchPath = dir.path() + "/BENCH.JSON";
        options.directory = dir.path();
        options.traceIo = true;
        return RunThroughSgIo(options, setUp);
    }
    // The io lines of a transcript.
    static Lines Io(const std::string& transcript) {
        Lines io;
        for (const std::string& line : test::Lines(transcript))
            if (line.rfind("io ", 0) == 0) io.push_back(line);
        return io;
    }
    TempDir dir;
};

// Each command as SG_IO carries it: direction, data length, time-out in
// milliseconds, the 12-byte command block and a 24-byte sense buffer.
TEST_F(LinuxLayerRuns, RequestsAsTheKernelReceivesThem) {
    const SeamRun run = Run("click ISP_Ena\nclick WIN9xISP\nclick Close\n");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    using Request = std::tuple<int, int, int, unsigned, unsigned, int, int>;
    auto request = [](int op0, int op1, int direction, unsigned length, unsigned timeout) {
        return Request{op0, op1, direction, length, timeout, 12, 24};
    };
    const Request inquiry = request(0x12, 0x00, SG_DXFER_FROM_DEV, 36, 2000);
    const Request status = request(0x06, 0xB0, SG_DXFER_FROM_DEV, 8, 30000);
    const std::vector<Request> expected = {
        inquiry,
        request(0x06, 0x05, SG_DXFER_FROM_DEV, 528, 2000),
        request(0x06, 0xBF, SG_DXFER_NONE, 0, 2000),
        status,
        request(0x06, 0xB1, SG_DXFER_TO_DEV, 1024, 30000),
        status,
        request(0x06, 0xB2, SG_DXFER_TO_DEV, 1024, 30000),
        status,
    };
    std::vector<Request> sent;
    for (std::size_t i = 0; i < run.requests.size(); ++i) {
        const sg_io_hdr_t& h = run.requests[i];
        sent.emplace_back(run.commands[i][0], run.commands[i][1], h.dxfer_direction, h.dxfer_len,
                          h.timeout, h.cmd_len, h.mx_sb_len);
    }
    EXPECT_EQ(sent, expected);
    EXPECT_EQ(run.commands[4], (std::vector<std::uint8_t>{0x06, 0xB1, 0x00, 0x00, 0xE8, 0x03, 0x02,
                                                          0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(run.handlesLeft, 0u);
    EXPECT_EQ(run.benchHandlesLeft, 0u);
    EXPECT_NE(run.transcript.find("Success Number Of ISP: 1"), std::string::npos);
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x57 0x1 0x124 ");
}

// A device that cannot be opened is named at start, once, and left out.
TEST_F(LinuxLayerRuns, ADeviceThatCannotBeOpenedIsNamedAndLeftOut) {
    const std::pair<std::function<void(BenchSgDriver&)>, std::string> kRows[] = {
        {[](BenchSgDriver& sg) { sg.noAccess = {"/dev/sg0"}; },
         "usbisp: /dev/sg0 (E:): no read and write access; run as root, or add the user to the "
         "group \"disk\" that owns it (and log in again); going on without E:\n"},
        {[](BenchSgDriver& sg) { sg.missing = {"/dev/sg0"}; },
         "usbisp: /dev/sg0 (E:): there is no such device; going on without E:\n"},
    };
    for (const auto& [setUp, line] : kRows) {
        const SeamRun run = Run("click GetInfo\nclick Close\n", setUp);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.errors, line);
        EXPECT_TRUE(Io(run.transcript).empty()) << run.transcript;
        EXPECT_NE(run.transcript.find(" Total Device Plug In : 0 "), std::string::npos);
    }
}

// Without CAP_SYS_RAWIO the kernel lets INQUIRY through and refuses the rest.
TEST_F(LinuxLayerRuns, RefusedVendorCommandsAreNamedOnceAndTheDriveIsGivenUp) {
    const SeamRun run = Run("click GetInfo\nclick Close\n",
                            [](BenchSgDriver& sg) { sg.vendorCommandsRefused = true; });
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.errors,
              "usbisp: /dev/sg0 (E:): the kernel refuses the reader's vendor commands, which need "
              "CAP_SYS_RAWIO; run as root, or give the program the capability (sudo setcap "
              "cap_sys_rawio+ep \"$(command -v usbisp)\"); going on without E:\n");
    // The second GetInfo no longer opens E:.
    EXPECT_EQ(Io(run.transcript),
              (Lines{kOpenE, kInquiry,
                     kIoctlE + "in=44 out=608 fail cdb=060500000000000080000000 dir=in xfer=528 "
                               "timeout=2 scsi=00 reason=\"SG_IO failed: the kernel does not "
                               "allow the command\"",
                     kCloseE}));
    EXPECT_EQ(run.handlesLeft, 0u);
}

// The reader vanishes after the jump: the transfer fails as a transport
// failure, the run goes on, and the next GetInfo finds nothing to open.
TEST_F(LinuxLayerRuns, ADeviceThatDisappearsEndsItsRequestAsATransportFailure) {
    const SeamRun run = Run("click ISP_Ena\nclick WIN9xISP\nclick GetInfo\nclick Close\n",
                            [](BenchSgDriver& sg) { sg.goneFromRequest = 5; });
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.errors, "");
    const Lines io = Io(run.transcript);
    ASSERT_EQ(io.size(), 10u) << run.transcript;
    EXPECT_EQ(io[7].rfind(kIoctlE + "in=1104 out=1104 fail cdb=06b10000e803020000000000 dir=out "
                                    "xfer=1024 timeout=30 scsi=00 data=",
                          0),
              0u)
        << io[7];
    EXPECT_EQ(io[7].substr(io[7].size() - 42), " reason=\"SG_IO failed: the device is gone\"");
    EXPECT_EQ(io[8], kCloseE);
    EXPECT_EQ(io[9], R"(io open "\\\\.\\E:" fail access=0xc0000000 share=0x3 flags=0x0)");
    EXPECT_NE(
        run.transcript.find(
            "box stop \"UsbIsp\" \"Error!!! ISP TRANSFER DATA ERROR WHEN PROGRAMING CODE!!!\""),
        std::string::npos);
    EXPECT_NE(run.transcript.find("Error   Number Of ISP: 1"), std::string::npos);
    EXPECT_EQ(test::Lines(run.transcript).back(), "end ok");
    EXPECT_EQ(run.handlesLeft, 0u);
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x11 0x01 0x0123");
}

// The layer's answers as Windows XP without the maker's drivers gives them:
// drives only, the pass-through only on a handle with read and write access,
// no libraries, no registry keys.
TEST(LinuxLayer, AnswersAsWindowsXp) {
    std::string error;
    auto config = sim::ParseBenchConfig(
        R"({"windows": "xp", "readers": [{"letters": "E", "inquiry": {"vendor": "Generic"}}]})",
        ".", error);
    ASSERT_TRUE(config) << error;
    sim::Bench bench(std::move(*config), ".", {}, false);
    BenchSgDriver sg(bench, {{"/dev/sg0", 'E'}});
    BenchClock clock(bench);
    Lines events;
    lnx::LinuxOptions options;
    options.drives = {{'E', "/dev/sg0"}};
    options.events = [&events](const std::string& line) { events.push_back(line); };
    options.traceIo = true;
    lnx::LinuxPlatform layer(std::move(options), sg, clock);

    EXPECT_EQ(layer.GetVersion(), 0x0A280105u);
    EXPECT_EQ(layer.GetLogicalDrives(), 1u << ('E' - 'A'));
    EXPECT_EQ(layer.CreateFileA("\\\\.\\TAVDRV", 0xC0000000u, 0, 3, 0), kInvalidHandle);
    EXPECT_EQ(layer.CreateFileA("\\\\.\\F:", 0xC0000000u, 3, 3, 0), kInvalidHandle);
    EXPECT_EQ(layer.LoadLibraryA("WNASPI32"), 0u);
    RegKey key = 1;
    EXPECT_EQ(layer.RegOpenKeyExA(kHkeyLocalMachine, "Enum\\SCSI", 0xF003F, &key), 2);
    EXPECT_EQ(key, 0u);

    std::vector<std::uint8_t> record(116, 0);
    FillPassThroughHeader(record.data(), InquiryCommand(0));
    const Handle readOnly = layer.CreateFileA("\\\\.\\e:", 0x80000000u, 3, 3, 0);
    ASSERT_NE(readOnly, kInvalidHandle);
    std::uint32_t returned = 7;
    EXPECT_FALSE(
        layer.DeviceIoControl(readOnly, 0x4D004, record.data(), 44, record.data(), 116, &returned));
    EXPECT_EQ(returned, 0u);
    EXPECT_TRUE(sg.requests.empty());
    const Handle drive = layer.CreateFileA("\\\\.\\E:", 0xC0000000u, 3, 3, 0);
    EXPECT_FALSE(
        layer.DeviceIoControl(drive, 0x222004, record.data(), 44, record.data(), 116, &returned));
    EXPECT_TRUE(
        layer.DeviceIoControl(drive, 0x4D004, record.data(), 44, record.data(), 116, &returned));
    EXPECT_EQ(std::string(record.begin() + 88, record.begin() + 92), "Gene");
    EXPECT_TRUE(layer.CloseHandle(readOnly));
    EXPECT_TRUE(layer.CloseHandle(drive));
    EXPECT_FALSE(layer.CloseHandle(drive));
    EXPECT_EQ(sg.openCount(), 0u);
    EXPECT_EQ(events,
              (Lines{R"(io open "\\\\.\\TAVDRV" fail access=0xc0000000 share=0x0 flags=0x0)",
                     R"(io open "\\\\.\\F:" fail access=0xc0000000 share=0x3 flags=0x0)",
                     R"(io open "\\\\.\\e:" ok access=0x80000000 share=0x3 flags=0x0)",
                     R"(io ioctl "\\\\.\\e:" 0x4d004 in=44 out=116 fail reason="access denied: )"
                     R"(the handle was opened without read and write access")",
                     kOpenE,
                     R"(io ioctl "\\\\.\\E:" 0x222004 in=44 out=116 fail )"
                     R"(reason="control code not served by a drive")",
                     kInquiry, R"(io close "\\\\.\\e:")", kCloseE}));
}

}  // namespace
}  // namespace usbisp::test::fw
