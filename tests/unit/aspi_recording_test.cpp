// ASPI recorded and replayed: the recorder's entry points write each request
// and its completion as the program met them (the completion after its
// request, placed among the program's waits), the program's own routine is
// called with its block; a recording's ASPI answers the same requests the
// same way, and a request it does not hold ends the run.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/aspi.h"
#include "platform/port_driver_output.h"
#include "platform/recorder.h"
#include "platform/recording.h"
#include "platform/sim/bench.h"
#include "platform/sim/bench_config.h"
#include "platform/sim/recording_bench.h"
#include "platform/sim/replay.h"
#include "support/test_support.h"

namespace usbisp::rec {
namespace {

// The program's side of one request: its block first, as the program keeps
// it, and what its routine saw.
struct Block {
    aspi::SrbExecScsiCmd srb{};
    int routineCalls = 0;
    std::uint8_t statusSeen = 0;
    std::uint8_t buffer[64] = {};
};

void Routine(void* block) {
    auto* b = static_cast<Block*>(block);
    ++b->routineCalls;
    b->statusSeen = b->srb.SRB_Status;
}

// An INQUIRY of 40 bytes to [0, target], posting its completion.
void Inquiry(Block& b, std::uint8_t target) {
    b.srb.SRB_Cmd = aspi::kExecScsiCmd;
    b.srb.SRB_Flags = aspi::kPosting | aspi::kDirIn;
    b.srb.SRB_Target = target;
    b.srb.SRB_BufLen = 40;
    b.srb.SRB_BufPointer = b.buffer;
    b.srb.SRB_SenseLen = aspi::kSenseLength;
    b.srb.SRB_CDBLen = 6;
    b.srb.SRB_PostProc = Routine;
    const std::uint8_t cdb[] = {0x12, 0, 0, 0, 40, 0};
    std::memcpy(b.srb.CDBByte, cdb, sizeof cdb);
}

struct RecordRow {
    const char* aspi;        // the bench's "aspi" key
    std::uint8_t target;     // 1 has the reader
    std::uint32_t returned;  // by SendASPI32Command
    int completions;         // SRB_PostProc events (and routine calls)
    std::uint32_t sleeps;    // of the completion
    std::uint8_t status;
};

TEST(AspiRecorder, WritesEachRequestAndItsCompletion) {
    const RecordRow rows[] = {
        {R"({"adapters": 1})", 1, 0, 1, 1, 0x01},
        {R"({"adapters": 1, "latency": 0})", 1, 0, 1, 0, 0x01},
        {R"({"adapters": 1, "immediateFailures": "return"})", 5, 0x82, 0, 0, 0},
        {R"({"adapters": 1, "immediateFailures": "return-and-post"})", 5, 0x82, 1, 0, 0x82},
    };
    for (const RecordRow& row : rows) {
        SCOPED_TRACE(row.aspi);
        test::TempDir dir;
        std::string error;
        auto config = sim::ParseBenchConfig(
            std::string(R"({"windows": "me", "aspi": )") + row.aspi +
                R"(, "readers": [{"letters": "E", "aspi": [0, 1],)"
                R"( "inquiry": {"vendor": "Generic", "product": "Flash Reader"}}]})",
            "", error);
        ASSERT_TRUE(config) << error;
        sim::Bench bench(std::move(*config), dir.path(), nullptr, false);
        const std::string path = dir.path() + "/rec.json";
        Block block;
        Inquiry(block, row.target);
        {
            Recorder recorder(bench, Recorder::OpenOutput(path, error), Recording{});
            const Module library = recorder.LoadLibraryA("WNASPI32");
            const EntryPoint info = recorder.GetProcAddress(library, aspi::kGetSupportInfo);
            const EntryPoint send = recorder.GetProcAddress(library, aspi::kSendCommand);
            ASSERT_TRUE(info && send);
            EXPECT_EQ(info(), 0x101u);
            EXPECT_EQ(send(&block.srb), row.returned);
            recorder.Sleep(10);
            recorder.Sleep(10);
            EXPECT_TRUE(recorder.FreeLibrary(library));
        }
        EXPECT_EQ(block.routineCalls, row.completions);
        if (row.completions > 0) {
            EXPECT_EQ(block.statusSeen, row.status);
            // Read out of the packed block before it is compared.
            const aspi::PostProc routine = block.srb.SRB_PostProc;
            EXPECT_EQ(routine, &Routine) << "the program's routine is put back";
        }
        const auto read = ParseRecording(test::ReadFile(path), error);
        ASSERT_TRUE(read) << error;
        std::vector<const Event*> aspiEvents;
        for (const Event& e : read->events)
            if (e.call == Call::GetASPI32SupportInfo || e.call == Call::SendASPI32Command ||
                e.call == Call::SRB_PostProc)
                aspiEvents.push_back(&e);
        ASSERT_EQ(aspiEvents.size(), 2u + row.completions);
        EXPECT_EQ(aspiEvents[0]->value, 0x101u);
        const Event& request = *aspiEvents[1];
        EXPECT_EQ(request.call, Call::SendASPI32Command);
        EXPECT_EQ(request.target, row.target);
        EXPECT_EQ(request.cdb, (std::vector<std::uint8_t>{0x12, 0, 0, 0, 40, 0}));
        EXPECT_EQ(request.value, row.returned);
        if (row.completions == 0) continue;
        const Event& completion = *aspiEvents[2];
        EXPECT_EQ(completion.call, Call::SRB_PostProc);
        EXPECT_EQ(completion.request, request.request);
        EXPECT_EQ(completion.sleeps, row.sleeps);
        EXPECT_EQ(completion.status, row.status);
        ASSERT_EQ(completion.dataIn.size(), 40u);
        EXPECT_EQ(completion.dataIn, std::vector<std::uint8_t>(block.buffer, block.buffer + 40));
        if (row.status == aspi::kComplete) {
            EXPECT_EQ(std::string(completion.dataIn.begin() + 8, completion.dataIn.begin() + 15),
                      "Generic");
            EXPECT_TRUE(completion.sense.empty());
        } else {
            EXPECT_EQ(completion.sense.size(), aspi::kSenseLength);
        }
    }
}

// A recording written by hand: an inquiry that completes with CHECK
// CONDITION during the second wait after it, and one answered at once.
const char* const kAspiSession = R"({"usbispRecording": 1, "program": "usbisp",
 "version": "0.1.0", "platform": "test", "facts": {}, "events": [
{"t": 0, "call": "GetVersion", "value": 3221248516},
{"t": 0, "call": "LoadLibraryA", "path": "WNASPI32", "ok": true, "value": 0},
{"t": 0, "call": "GetProcAddress", "path": "GetASPI32SupportInfo", "ok": true, "value": 0},
{"t": 0, "call": "GetProcAddress", "path": "SendASPI32Command", "ok": true, "value": 0},
{"t": 1, "call": "GetASPI32SupportInfo", "value": 257},
{"t": 1, "call": "SendASPI32Command", "request": 1, "adapter": 0, "target": 1, "lun": 0,
 "flags": 9, "bufLen": 40, "senseLen": 14, "cdbLen": 6, "cdb": "120000002800",
 "dataOut": "", "value": 0},
{"t": 2, "call": "Sleep", "value": 10},
{"t": 3, "call": "SRB_PostProc", "request": 1, "sleeps": 2, "status": 4, "hostStatus": 0,
 "targetStatus": 2, "dataIn": "0102", "sense": "700005"},
{"t": 3, "call": "Sleep", "value": 10},
{"t": 4, "call": "SendASPI32Command", "request": 2, "adapter": 0, "target": 5, "lun": 0,
 "flags": 9, "bufLen": 40, "senseLen": 14, "cdbLen": 6, "cdb": "120000002800",
 "dataOut": "", "value": 130}
], "end": "complete"})";

std::string MismatchOf(const EntryPoint& send, Block& block) {
    try {
        send(&block.srb);
    } catch (const sim::ReplayMismatch& mismatch) {
        return mismatch.what();
    }
    return "no mismatch";
}

TEST(AspiReplay, AnswersAndCompletesAsRecorded) {
    std::string error;
    auto recording = ParseRecording(kAspiSession, error);
    ASSERT_TRUE(recording) << error;
    auto config = sim::BenchFromRecording(std::make_shared<const Recording>(std::move(*recording)),
                                          "rec.json");
    test::TempDir dir;
    std::vector<std::string> lines;
    sim::Bench bench(
        std::move(*config), dir.path(),
        [&lines](const std::string& line) { lines.push_back(line); }, true);
    const Module library = bench.LoadLibraryA("WNASPI32");
    ASSERT_NE(library, 0u);
    const EntryPoint info = bench.GetProcAddress(library, aspi::kGetSupportInfo);
    const EntryPoint send = bench.GetProcAddress(library, aspi::kSendCommand);
    ASSERT_TRUE(info && send);
    EXPECT_EQ(info(), 257u);

    Block first;
    Inquiry(first, 1);
    EXPECT_EQ(send(&first.srb), 0u);
    EXPECT_EQ(first.srb.SRB_Status, aspi::kPending);
    bench.Sleep(10);
    EXPECT_EQ(first.routineCalls, 0) << "due in the second wait";
    EXPECT_FALSE(bench.FreeLibrary(library)) << "not under a posted request";
    bench.Sleep(10);
    EXPECT_EQ(first.routineCalls, 1);
    EXPECT_EQ(first.statusSeen, aspi::kError);
    EXPECT_EQ(first.srb.SRB_TargStat, 2);
    EXPECT_EQ(first.buffer[0], 1);
    EXPECT_EQ(first.buffer[1], 2);
    EXPECT_EQ(first.buffer[2], 0);
    EXPECT_EQ(first.srb.SenseArea[0], 0x70);
    EXPECT_EQ(first.srb.SenseArea[2], 0x05);

    // The same request to another target: the next recorded one differs.
    Block other;
    Inquiry(other, 2);
    EXPECT_NE(MismatchOf(send, other)
                  .find("rec.json: ASPI call 6, SendASPI32Command ha=0 "
                        "target=2"),
              std::string::npos)
        << MismatchOf(send, other);
    EXPECT_EQ(bench.GetProcAddress(library, aspi::kSendCommand).call, nullptr)
        << "nothing more once the replay has ended";

    const std::vector<std::string> expected = {
        "io load \"WNASPI32\" ok",
        "io proc \"GetASPI32SupportInfo\" ok",
        "io proc \"SendASPI32Command\" ok",
        "io aspi info 0x101",
        "io aspi exec ha=0 target=1 lun=0 flags=0x9 buflen=40 senselen=14 cdblen=6 "
        "cdb=120000002800 status=04",
        "sleep 10",
        "io free \"WNASPI32\" fail reason=\"1 request is still posted\"",
        "sleep 10",
        "io proc \"SendASPI32Command\" fail",
    };
    EXPECT_EQ(lines, expected);
}

TEST(AspiReplay, ARequestAnsweredAtOnceReturnsItsStatusWithoutRoutine) {
    std::string error;
    auto recording = ParseRecording(kAspiSession, error);
    ASSERT_TRUE(recording) << error;
    auto config = sim::BenchFromRecording(std::make_shared<const Recording>(std::move(*recording)),
                                          "rec.json");
    test::TempDir dir;
    sim::Bench bench(std::move(*config), dir.path(), nullptr, false);
    const Module library = bench.LoadLibraryA("WNASPI32");
    bench.GetProcAddress(library, aspi::kGetSupportInfo);
    const EntryPoint send = bench.GetProcAddress(library, aspi::kSendCommand);
    Block first, second, third;
    Inquiry(first, 1);
    Inquiry(second, 5);
    Inquiry(third, 5);
    send(&first.srb);
    EXPECT_EQ(send(&second.srb), 0x82u);
    EXPECT_EQ(second.srb.SRB_Status, 0x82);
    bench.Sleep(10);
    bench.Sleep(10);
    EXPECT_EQ(second.routineCalls, 0);
    EXPECT_EQ(first.routineCalls, 1) << "the first one's waits go on counting";
    EXPECT_NE(MismatchOf(send, third).find("the recording holds no more SendASPI32Command"),
              std::string::npos);
}

// What a port driver writes behind the output it is given.
TEST(PortDriverOutput, TheRevisionAndTheStatusReadWriteMoreThanDeclared) {
    struct Row {
        std::uint32_t code;
        std::vector<std::uint8_t> record;
        std::uint32_t outSize;
        std::uint32_t written;
    };
    std::vector<std::uint8_t> revision(16, 0), status(16, 0), status66(40, 0), write66(40, 0);
    revision[0] = 26;
    status[0] = 21;
    status66[0] = 3;
    status66[28] = 1;   // in
    status66[32] = 28;  // transfer
    write66[0] = 3;
    write66[28] = 2;  // out
    write66[32] = 0;
    write66[33] = 4;  // 1024
    std::vector<std::uint8_t> huge = status66;
    huge[33] = 1;  // a transfer of 284 behind 8: no more than the status read's
    const Row rows[] = {
        {0x41, revision, 1, 8},  {0x41, status, 1, 1},        {0x42, revision, 1, 1},
        {0x42, status66, 8, 28}, {0x42, write66, 1024, 1024}, {0x42, huge, 8, 28},
        {0x41, status66, 8, 8},  {0x4D004, revision, 1, 1},
    };
    for (const Row& row : rows)
        EXPECT_EQ(PortDriverOutputLength(row.code, row.record, row.outSize), row.written)
            << "code 0x" << std::hex << row.code << " record of " << std::dec << row.record.size()
            << " function " << int{row.record[0]};
}

}  // namespace
}  // namespace usbisp::rec
