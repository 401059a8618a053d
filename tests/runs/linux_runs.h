// What the runs through the Linux layer share: a directory with DEVICE.TXT,
// the ROM code and address files and SERIAL.TXT, a scripted run of a bench
// through the seam (sg_io_seam.h), and the io lines of its transcript.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "firmware_runs.h"
#include "support/sg_io_seam.h"

namespace usbisp::test::fw {

inline const std::string kOpenE = R"(io open "\\\\.\\E:" ok access=0xc0000000 share=0x3 flags=0x0)";
inline const std::string kCloseE = R"(io close "\\\\.\\E:")";
inline const std::string kIoctlE = R"(io ioctl "\\\\.\\E:" 0x4d004 )";

class LinuxRuns : public ::testing::Test {
  protected:
    void SetUp() override {
        dir.Write("DEVICE.TXT", DeviceTxt());
        dir.WriteBytes("ROM.BIN", Image(1000, 5, 0xFE));
        dir.WriteBytes("ROM.adr", AddressFile(0x100, 6, 13));
        dir.Write("SERIAL.TXT", "0x11 0x01 0x0123");
    }
    // `script` with --trace-io over `bench` through the Linux layer.
    SeamRun Run(const std::string& script, const std::function<void(SeamMachine&)>& setUp = {},
                const std::string& bench = BenchJson(Reader{})) {
        dir.Write("BENCH.JSON", bench);
        dir.Write("SCRIPT.TXT", script);
        script::HeadlessOptions options;
        options.scriptPath = dir.path() + "/SCRIPT.TXT";
        options.benchPath = dir.path() + "/BENCH.JSON";
        options.directory = dir.path();
        options.traceIo = true;
        return RunThroughSgIo(options, setUp);
    }
    // The io lines of a transcript.
    static std::vector<std::string> Io(const std::string& transcript) {
        std::vector<std::string> io;
        for (const std::string& line : test::Lines(transcript))
            if (line.rfind("io ", 0) == 0) io.push_back(line);
        return io;
    }
    TempDir dir;
};

}  // namespace usbisp::test::fw
