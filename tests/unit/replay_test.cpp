// A recording replayed: calls answered in the recorded order or by request,
// a call without answer refused with the call and the nearest recorded one
// named, a close never refused; and a recording as a reader of a bench file.
#include "platform/sim/replay.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/sim/bench_config.h"
#include "support/test_support.h"

namespace usbisp::sim {
namespace {

using rec::Call;
using rec::Event;

Event Open(const std::string& path) {
    Event e;
    e.call = Call::CreateFileA;
    e.path = path;
    e.access = 0xC0000000u;
    e.share = 3;
    e.disposition = 3;
    e.ok = true;
    return e;
}

// A request of 12 input bytes whose fifth byte tells it apart, and its
// one-byte answer.
Event Request(std::uint8_t which, std::uint8_t answer) {
    Event e;
    e.call = Call::DeviceIoControl;
    e.path = "\\\\.\\E:";
    e.code = 0x222004;
    e.in = {0, 0, 0, 0, which, 0, 0, 0, 0, 0, 0, 0};
    e.inSize = 12;
    e.out = {answer};
    e.outSize = 1;
    e.returned = 1;
    e.ok = true;
    return e;
}

Event Close(const std::string& path) {
    Event e;
    e.call = Call::CloseHandle;
    e.path = path;
    e.ok = true;
    return e;
}

std::shared_ptr<const rec::Recording> Recorded(std::vector<Event> events) {
    auto recording = std::make_shared<rec::Recording>();
    recording->events = std::move(events);
    return recording;
}

std::string MismatchOf(Replay& replay, const Event& asked) {
    try {
        replay.Answer(asked);
    } catch (const ReplayMismatch& mismatch) {
        return mismatch.what();
    }
    return "no mismatch";
}

TEST(Replay, RecordedOrderAnswersEachCallInTurn) {
    Replay replay(
        Recorded({Open("\\\\.\\E:"), Request(1, 0x9C), Request(2, 0xA5), Close("\\\\.\\E:")}),
        "rec.json", false);
    EXPECT_EQ(replay.DevicePaths(), std::vector<std::string>{"\\\\.\\E:"});
    ASSERT_NE(replay.Answer(Open("\\\\.\\e:")), nullptr) << "paths compare as Windows does";
    EXPECT_EQ(replay.Answer(Request(1, 0))->out[0], 0x9C);
    // Asked out of turn: the run ends, naming the call and the one due.
    EXPECT_EQ(MismatchOf(replay, Request(3, 0)),
              "rec.json: call 3 on its devices, DeviceIoControl \"\\\\.\\E:\" 0x222004 in=12 "
              "out=1, has no answer in the recording; the next recorded call is event 3: "
              "DeviceIoControl \"\\\\.\\E:\" 0x222004 in=12 out=1 (the input differs from byte 4)");
    // After it every call fails quietly: the closes of the way out throw nothing.
    EXPECT_EQ(replay.Answer(Request(2, 0)), nullptr);
    EXPECT_EQ(replay.Answer(Close("\\\\.\\E:")), nullptr);
}

TEST(Replay, RecordedOrderSaysWhenTheRecordingIsUsedUp) {
    Replay used(Recorded({Open("\\\\.\\E:")}), "a.json", false);
    used.Answer(Open("\\\\.\\E:"));
    EXPECT_NE(MismatchOf(used, Open("\\\\.\\E:"))
                  .find("the recording holds no more calls on its devices"),
              std::string::npos);
    auto cut = std::make_shared<rec::Recording>();
    cut->cut = true;
    Replay ended(cut, "b.json", false);
    EXPECT_NE(MismatchOf(ended, Open("\\\\.\\E:"))
                  .find("the recording was cut at its size bound before this call"),
              std::string::npos);
}

TEST(Replay, AnyOrderMatchesByRequestAndRepeatsTheLastAnswer) {
    Replay replay(Recorded({Request(1, 0x9C), Request(2, 0xA5), Request(1, 0x5A)}), "rec.json",
                  true);
    EXPECT_EQ(replay.Answer(Request(2, 0))->out[0], 0xA5);
    EXPECT_EQ(replay.Answer(Request(1, 0))->out[0], 0x9C);
    EXPECT_EQ(replay.Answer(Request(1, 0))->out[0], 0x5A);
    // Asked more often than recorded: its last answer again.
    EXPECT_EQ(replay.Answer(Request(1, 0))->out[0], 0x5A);
    Event otherCode = Request(2, 0);
    otherCode.code = 0x222008;
    const std::string error = MismatchOf(replay, otherCode);
    EXPECT_NE(error.find("DeviceIoControl \"\\\\.\\E:\" 0x222008 in=12 out=1, has no answer"),
              std::string::npos)
        << error;
    EXPECT_NE(error.find("the nearest recorded call is event 2: DeviceIoControl \"\\\\.\\E:\" "
                         "0x222004 in=12 out=1"),
              std::string::npos)
        << error;
}

TEST(Replay, ACloseIsNeverRefused) {
    Replay replay(Recorded({Open("\\\\.\\E:"), Request(1, 0x9C), Close("\\\\.\\E:")}), "r", false);
    replay.Answer(Open("\\\\.\\E:"));
    // Closed before the recorded request: no answer, nothing thrown, and the
    // request is still due.
    EXPECT_EQ(replay.Answer(Close("\\\\.\\E:")), nullptr);
    EXPECT_EQ(replay.Answer(Request(1, 0))->out[0], 0x9C);
    EXPECT_NE(replay.Answer(Close("\\\\.\\E:")), nullptr);
}

struct ReaderRow {
    std::string reader;
    std::string error;
};

TEST(RecordedReader, KeysOfABenchReaderThatIsARecording) {
    test::TempDir dir;
    dir.Write("rec.json", R"({"usbispRecording": 1, "program": "usbisp", "version": "0.1.0",
        "platform": "test", "facts": {}, "events": [
        {"t": 0, "call": "CreateFileA", "path": "\\\\.\\G:", "access": 3221225472, "share": 3,
         "disposition": 3, "flags": 0, "ok": true, "lastError": 0}], "end": "complete"})");
    dir.Write("short.json", R"({"usbispRecording": 1, "program": "usbisp", "events": [)");
    const ReaderRow rows[] = {
        {R"({"recording": "@rec.json", "order": "any"})", ""},
        {R"({"recording": "@rec.json", "order": "sideways"})",
         R"(key "readers[0].order": must be "recorded" or "any")"},
        {R"({"recording": "rec.json"})",
         R"(key "readers[0].recording": must be "@FILE", the recording's file)"},
        {R"({"order": "any"})",
         R"(key "readers[0].recording": is missing: the recording this reader is)"},
        {R"({"recording": "@rec.json", "letters": "E"})",
         R"(key "readers[0].letters": a reader that is a recording takes only "recording" and "order")"},
        {R"({"recording": "@short.json"})",
         "key \"readers[0].recording\": " + dir.path() +
             "/short.json: the recording ends before its end (truncated: the program that made "
             "it did not finish it)"},
    };
    for (const ReaderRow& row : rows) {
        std::string error;
        const auto config =
            ParseBenchConfig(R"({"readers": [)" + row.reader + "]}", dir.path(), error);
        EXPECT_EQ(error, row.error) << row.reader;
        if (!row.error.empty()) continue;
        ASSERT_TRUE(config);
        ASSERT_EQ(config->recordedReaders.size(), 1u);
        EXPECT_TRUE(config->recordedReaders[0].anyOrder);
        EXPECT_TRUE(config->readers.empty());
    }
}

}  // namespace
}  // namespace usbisp::sim
