// The Linux layer through its SG_IO seam with the bench behind it: the
// requests as the kernel receives them, what the layer does with a device it
// may not use or that disappears during a run, and what it says of a request
// the kernel or the host adapter failed.
#include <gtest/gtest.h>

#include <tuple>

#include "device/pass_through.h"
#include "linux_runs.h"
#include "platform/linux/linux_platform.h"
#include "platform/sim/bench_config.h"

namespace usbisp::test::fw {
namespace {

using Lines = std::vector<std::string>;

const std::string kInquiry =
    kIoctlE + "in=44 out=116 ok cdb=120000002400000000000000 dir=in xfer=36 timeout=2 scsi=00";

using LinuxLayerRuns = LinuxRuns;

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
    const std::pair<std::function<void(SeamMachine&)>, std::string> kRows[] = {
        {[](SeamMachine& m) { m.sg.noAccess = {"/dev/sg0"}; },
         "usbisp: /dev/sg0 (E:): no read and write access; run as root, or add the user to the "
         "group \"disk\" that owns it (and log in again); going on without E:\n"},
        {[](SeamMachine& m) { m.sg.missing = {"/dev/sg0"}; },
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

// sg filters the commands of a descriptor opened read only; the pass-through
// goes out only on one opened for reading and writing, which takes the
// vendor commands without CAP_SYS_RAWIO: a run without the capability is the
// run with it, and nothing is said about it.
TEST_F(LinuxLayerRuns, WithoutRawioTheVendorCommandsGoThrough) {
    const std::string script = "click ISP_Ena\nclick WIN9xISP\nclick GetInfo\nclick Close\n";
    const SeamRun with = Run(script);
    dir.Write("SERIAL.TXT", "0x11 0x01 0x0123");
    const SeamRun without = Run(script, [](SeamMachine& m) { m.sg.withoutRawio = true; });
    EXPECT_EQ(without.exitCode, 0);
    EXPECT_EQ(without.errors, "");
    EXPECT_EQ(without.transcript, with.transcript);
    EXPECT_NE(without.transcript.find("Success Number Of ISP: 1"), std::string::npos);
}

// The reader vanishes after the jump: the transfer fails as a transport
// failure, the run goes on, and the next GetInfo finds nothing to open.
TEST_F(LinuxLayerRuns, ADeviceThatDisappearsEndsItsRequestAsATransportFailure) {
    const SeamRun run = Run("click ISP_Ena\nclick WIN9xISP\nclick GetInfo\nclick Close\n",
                            [](SeamMachine& m) { m.sg.goneFromRequest = 5; });
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.errors, "");
    const Lines io = Io(run.transcript);
    ASSERT_EQ(io.size(), 10u) << run.transcript;
    EXPECT_EQ(io[7].rfind(kIoctlE + "in=1104 out=1104 fail cdb=06b10000e803020000000000 dir=out "
                                    "xfer=1024 timeout=30 scsi=00 data=",
                          0),
              0u)
        << io[7];
    const std::string gone = " reason=\"sg: ENODEV (No such device): the device is gone\"";
    EXPECT_EQ(io[7].substr(io[7].size() - gone.size()), gone);
    EXPECT_EQ(io[8], kCloseE);
    EXPECT_EQ(io[9], R"(io open "\\\\.\\E:" fail access=0xc0000000 share=0x3 flags=0x0 )"
                     R"x(reason="open: ENODEV (No such device)")x");
    EXPECT_NE(
        run.transcript.find(
            "box stop \"UsbIsp\" \"Error!!! ISP TRANSFER DATA ERROR WHEN PROGRAMING CODE!!!\""),
        std::string::npos);
    EXPECT_NE(run.transcript.find("Error   Number Of ISP: 1"), std::string::npos);
    EXPECT_EQ(test::Lines(run.transcript).back(), "end ok");
    EXPECT_EQ(run.handlesLeft, 0u);
    EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x11 0x01 0x0123");
}

// What the kernel or the host adapter said of a request that did not end
// with a status goes into the io line's reason; the program sees the failed
// transfer it sees on the bench. Rows: the request that fails (the n-th io
// line of the script's run) and the reason.
TEST_F(LinuxLayerRuns, AFailedRequestSaysWhatTheKernelSaid) {
    struct Row {
        const char* name;
        std::function<void(SeamMachine&)> setUp;
        Reader reader;
        std::string script;
        std::size_t lines, failing;
        std::string request, reason;
    };
    Reader failing;
    failing.failures = R"("IspWrite#1")";
    const std::string program = "click ISP_Ena\nclick WIN9xISP\nclick Close\n";
    const std::string write = kIoctlE + "in=1104 out=1104 fail cdb=06b10000e803020000000000";
    const Row kRows[] = {
        {"the host adapter's error",
         {},
         failing,
         program,
         9,
         7,
         write,
         "host adapter: DID_ERROR (host status 0x07, driver status 0x00)"},
        // The identity read of 528 bytes is the first request above one sector.
        {"a transfer above max_sectors",
         [](SeamMachine& m) {
             m.sg.maxSectors = 1;
             m.sysfs.SetMaxSectors(0, 1);
         },
         {},
         "click Close\n",
         4,
         2,
         kIoctlE + "in=44 out=608 fail cdb=060500000000000080000000",
         "sg: EINVAL (Invalid argument): 528 bytes are more than the reader takes in one request "
         "(its max_sectors 1: 512 bytes)"},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        const SeamRun run = Run(row.script, row.setUp, BenchJson(row.reader));
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.errors, "");
        const Lines io = Io(run.transcript);
        ASSERT_EQ(io.size(), row.lines) << run.transcript;
        const std::string& line = io[row.failing];
        EXPECT_EQ(line.rfind(row.request, 0), 0u) << line;
        const std::string reason = " reason=\"" + row.reason + "\"";
        EXPECT_EQ(line.substr(line.size() - std::min(line.size(), reason.size())), reason);
        EXPECT_EQ(io[row.failing + 1], kCloseE);
        EXPECT_EQ(dir.Read("SERIAL.TXT"), "0x11 0x01 0x0123");
    }
}

// A failed command whose REQUEST SENSE said nothing: usb-storage makes it a
// host adapter error with HARDWARE ERROR sense, Windows a CHECK CONDITION
// with the device's sense. The program sees the CHECK CONDITION it sees on
// the bench, and the sense key the device gave.
TEST_F(LinuxLayerRuns, AnEmptySenseIsACheckConditionAsOnWindows) {
    Reader reader;
    reader.scsiStatus = R"("IspWrite#1": "02")";
    const std::string script = "click ISP_Ena\nclick WIN9xISP\nclick Close\n";
    const RunResult bench = RunScript(dir, BenchJson(reader), script, {true});
    dir.Write("SERIAL.TXT", "0x11 0x01 0x0123");
    const SeamRun run = Run(
        script, [](SeamMachine& m) { m.sg.usbStorageEmptySense = true; }, BenchJson(reader));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.errors, "");
    const Lines io = Io(run.transcript);
    ASSERT_EQ(io.size(), 9u) << run.transcript;
    const std::string write = kIoctlE +
                              "in=1104 out=1104 ok cdb=06b10000e803020000000000 dir=out "
                              "xfer=1024 timeout=30 scsi=02 data=";
    const std::string sense = " sense=700000000000000a00000000000000000000";
    EXPECT_EQ(io[7].rfind(write, 0), 0u) << io[7];
    EXPECT_EQ(io[7].substr(io[7].size() - std::min(io[7].size(), sense.size())), sense);
    EXPECT_EQ(io[8], kCloseE);
    Lines seen, expected;
    for (const std::string& line : test::Lines(run.transcript))
        if (line.rfind("io ", 0) != 0) seen.push_back(line);
    for (const std::string& line : test::Lines(bench.transcript))
        if (line.rfind("io ", 0) != 0) expected.push_back(line);
    EXPECT_EQ(seen, expected);
    EXPECT_NE(run.transcript.find("Error   Number Of ISP: 1"), std::string::npos);
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
    TempDir root;
    const FakeSysfs sysfs(root.path());
    lnx::LinuxOptions options;
    options.drives = {{'E', "/dev/sg0", {}, {}}};
    options.paths = sysfs.Paths();
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
