// The bench's ASPI library refuses a transfer of more blocks than the
// reader's controller holds, as the reader refuses it: the request
// completes with an error and CHECK CONDITION, and the controller stores
// nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/aspi.h"
#include "platform/sim/bench.h"
#include "platform/sim/bench_config.h"

namespace usbisp {
namespace {

void Posted(void*) {}

struct AspiRequest {
    aspi::SrbExecScsiCmd block{};
    std::vector<std::uint8_t> data;
};

// An exec request to the reader at 0:1 with a 12-byte command block.
AspiRequest Request(std::vector<std::uint8_t> cdb, std::uint8_t direction, std::uint32_t length) {
    AspiRequest r;
    r.data.assign(length, 0x11);
    r.block.SRB_Cmd = aspi::kExecScsiCmd;
    r.block.SRB_Flags = static_cast<std::uint8_t>(aspi::kPosting | direction);
    r.block.SRB_Target = 1;
    r.block.SRB_BufLen = length;
    r.block.SRB_BufPointer = length ? r.data.data() : nullptr;
    r.block.SRB_SenseLen = aspi::kSenseLength;
    r.block.SRB_CDBLen = 12;
    r.block.SRB_PostProc = Posted;
    std::copy(cdb.begin(), cdb.end(), r.block.CDBByte);
    return r;
}

TEST(BenchAspi, TransfersAtMostTheControllersBuffer) {
    struct Row {
        std::uint8_t blocks;
        std::uint8_t status;  // SRB_Status
        std::uint8_t target;  // SRB_TargStat
    };
    const Row rows[] = {
        {128, aspi::kComplete, 0x00}, {129, aspi::kError, 0x02}, {255, aspi::kError, 0x02}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.blocks);
        std::string error;
        auto config = sim::ParseBenchConfig(
            R"({"windows": "me", "aspi": {"adapters": 1, "latency": 0},
                "readers": [{"letters": "E", "aspi": [0, 1]}]})",
            ".", error);
        ASSERT_TRUE(config) << error;
        sim::Bench bench(
            *config, "/nonexistent", [](const std::string&) {}, true);
        const Module library = bench.LoadLibraryA(aspi::kLibrary);
        const EntryPoint send = bench.GetProcAddress(library, aspi::kSendCommand);
        ASSERT_TRUE(send);
        AspiRequest jump = Request({0x06, 0xBF, 0, 0, 0, 0x08}, aspi::kDirIn, 0);
        send(&jump.block);
        ASSERT_EQ(jump.block.SRB_Status, aspi::kComplete);
        // IspWrite of 1000 bytes in as many blocks as the row says.
        AspiRequest write =
            Request({0x06, 0xB1, 0, 0, 0xE8, 0x03, row.blocks}, aspi::kDirOut, row.blocks * 512u);
        send(&write.block);
        EXPECT_EQ(write.block.SRB_Status, row.status);
        EXPECT_EQ(write.block.SRB_TargStat, row.target);
        bench.FreeLibrary(library);
    }
}

}  // namespace
}  // namespace usbisp
