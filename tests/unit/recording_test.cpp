// The recording file: what the recorder writes reads back as written, and a
// file that is not sound (truncated, corrupt, of another version, beyond its
// bounds) is refused with a line naming what is wrong, never read in part.
#include "platform/recording.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/recorder.h"
#include "platform/sim/bench.h"
#include "platform/sim/bench_file.h"
#include "support/test_support.h"

namespace usbisp::rec {
namespace {

// A recording file around the given event objects.
std::string File(const std::string& events, const std::string& end = R"("complete")") {
    return R"({"usbispRecording": 1, "program": "usbisp", "version": "0.1.0",
               "platform": "test", "facts": {"drive E": "/dev/sg1"}, "events": [)" +
           events + R"(], "end": )" + end + "}";
}

struct Refusal {
    std::string text;
    std::string error;
};

TEST(RecordingFile, RefusesWhatIsNotSound) {
    const std::string ioctl =
        R"({"t": 0, "call": "DeviceIoControl", "path": "\\\\.\\E:", "code": 315396, )";
    const Refusal rows[] = {
        {"", "truncated"},
        {R"({"usbispRecording": 1, "program": "usbisp", "events": [{"t": 0,)", "truncated"},
        {R"({"usbispRecording": 1 x})", "not valid JSON at byte"},
        {"[1, 2]", "not a recording"},
        {R"({"usbispRecording": 2, "program": "p"})", "format 2 is not one this program reads (1)"},
        {File(""), ""},
        {File("", R"("half")"), "\"end\" is neither \"complete\" nor \"cut\""},
        {R"({"usbispRecording": 1, "program": "p", "version": "v", "platform": "x",
            "facts": {}, "events": []})",
         "\"end\" is missing"},
        {File(R"({"t": 0, "call": "Format"})"),
         "event 1: \"call\" names no call the recorder writes: \"Format\""},
        {File(R"({"t": 0, "call": "GetVersion", "value": 1}, {"t": 1, "call": "Sleep"})"),
         "event 2: \"value\" is missing"},
        {File(R"({"t": 0, "call": "GetVersion", "value": -1})"),
         "event 1: \"value\" is not a number from 0 to 4294967295"},
        {File(ioctl + R"("inSize": 4, "outSize": 0, "in": "0011", "out": "", "returned": 0,
                        "ok": true, "lastError": 0})"),
         "event 1: \"in\" holds 2 bytes, not 4"},
        {File(ioctl + R"("inSize": 1, "outSize": 0, "in": "0g", "out": "", "returned": 0,
                        "ok": true, "lastError": 0})"),
         "event 1: \"in\" is not hex at byte 0"},
        {File(ioctl + R"("inSize": 1048577, "outSize": 0})"),
         "event 1: \"inSize\" is not a number from 0 to 1048576"},
        {File(ioctl + R"("inSize": 2, "outSize": 1, "in": "0011", "out": "", "returned": 0,
                        "outRestAsIn": true, "ok": true, "lastError": 0})"),
         "event 1: \"outRestAsIn\" is true only where outSize is inSize"},
        {File(ioctl + R"("inSize": 2, "outSize": 2, "in": "0011", "out": "221100",
                        "returned": 0, "outRestAsIn": true, "ok": true, "lastError": 0})"),
         "event 1: \"out\" holds 3 bytes, not 2"},
        {File(R"({"t": 0, "call": "GetLocalTime", "time": "2003-13-18T09:30:00.000",
                  "dayOfWeek": 2})"),
         "event 1: \"time\" is out of range"},
        {std::string(kMaxRecordingBytes + 1, ' '), "larger than 32 MB"},
        {File(ioctl + R"("inSize": 0, "outSize": 1, "in": "", "outWritten": 1, "out": "00",
                        "returned": 0, "ok": true, "lastError": 0})"),
         "event 1: \"outWritten\" is not above outSize"},
        {File(ioctl + R"("inSize": 0, "outSize": 1, "in": "", "outWritten": 8, "out": "00",
                        "returned": 0, "ok": true, "lastError": 0})"),
         "event 1: \"out\" holds 1 bytes, not 8"},
        {File(R"({"t": 0, "call": "SendASPI32Command", "request": 1, "adapter": 0, "target": 1,
                  "lun": 0, "flags": 9, "bufLen": 40, "senseLen": 14, "cdbLen": 6,
                  "cdb": "1200", "dataOut": "", "value": 0})"),
         "event 1: \"cdb\" holds 2 bytes, not 6"},
        {File(R"({"t": 0, "call": "SendASPI32Command", "request": 1, "adapter": 256})"),
         "event 1: \"adapter\" is not a number from 0 to 255"},
        {File(R"({"t": 0, "call": "SendASPI32Command", "request": 1, "adapter": 0, "target": 1,
                  "lun": 0, "flags": 17, "bufLen": 2, "senseLen": 14, "cdbLen": 1,
                  "cdb": "b1", "dataOut": "001122", "value": 0})"),
         "event 1: \"dataOut\" holds 3 bytes, not 2"},
        {File(R"({"t": 0, "call": "SRB_PostProc", "request": 1, "sleeps": 0, "status": 1,
                  "hostStatus": 0, "targetStatus": 0, "dataIn": "",
                  "sense": "000102030405060708090a0b0c0d0e0f10"})"),
         "event 1: \"sense\" holds 17 bytes, not 16"},
        {File(R"({"t": 0, "call": "SRB_PostProc", "request": 1, "sleeps": 0, "status": 1})"),
         "event 1: \"hostStatus\" is missing"},
    };
    for (const Refusal& row : rows) {
        std::string error;
        const auto recording = ParseRecording(row.text, error);
        if (row.error.empty()) {
            EXPECT_TRUE(recording) << error;
            continue;
        }
        EXPECT_FALSE(recording) << row.text.substr(0, 200);
        EXPECT_NE(error.find(row.error), std::string::npos) << error << "\nwanted: " << row.error;
    }
}

TEST(RecordingFile, EachCallReadsBackAsWritten) {
    Recording header;
    header.program = "usbisp";
    header.version = "0.1.0";
    header.platform = "Linux";
    header.facts = {{"drive E", "/dev/sg2 at USB port 1-1"}};
    Event open;
    open.call = Call::CreateFileA;
    open.t = 5;
    open.path = "\\\\.\\E:";
    open.access = 0xC0000000u;
    open.share = 3;
    open.disposition = 3;
    open.lastError = 5;
    Event ioctl;
    ioctl.call = Call::DeviceIoControl;
    ioctl.path = "\\\\.\\E:";
    ioctl.code = 0x4D004;
    ioctl.in = {0x2C, 0x00, 0xFF};
    ioctl.inSize = 3;
    ioctl.out = {0x9C};
    ioctl.outSize = 1;
    ioctl.returned = 1;
    ioctl.ok = true;
    Event time;
    time.call = Call::GetLocalTime;
    time.time = {2003, 11, 2, 18, 9, 30, 0, 250};
    Event query;
    query.call = Call::RegQueryValueExA;
    query.path = "CurrentDriveLetterAssignment";
    query.out = {'E', 0};
    query.returned = 2;
    const std::string text = HeaderText(header) + EventLine(open, true) + EventLine(ioctl, false) +
                             EventLine(time, false) + EventLine(query, false) + EndText(true);
    std::string error;
    const auto read = ParseRecording(text, error);
    ASSERT_TRUE(read) << error;
    EXPECT_TRUE(read->cut);
    EXPECT_EQ(read->facts, header.facts);
    ASSERT_EQ(read->events.size(), 4u);
    const Event& o = read->events[0];
    EXPECT_EQ(o.path, "\\\\.\\E:");
    EXPECT_EQ(o.access, 0xC0000000u);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.lastError, 5u);
    const Event& i = read->events[1];
    EXPECT_EQ(i.in, ioctl.in);
    EXPECT_EQ(i.out, ioctl.out);
    EXPECT_EQ(i.code, 0x4D004u);
    EXPECT_TRUE(i.ok);
    EXPECT_EQ(read->events[2].time.milliseconds, 250);
    EXPECT_EQ(read->events[2].time.dayOfWeek, 2);
    EXPECT_EQ(read->events[3].out, query.out);
    // The line as a reader of the file sees it.
    EXPECT_EQ(EventLine(ioctl, true),
              R"({"t":0,"call":"DeviceIoControl","path":"\\\\.\\E:","code":315396,"inSize":3,)"
              R"("outSize":1,"in":"2c00ff","out":"9c","returned":1,"ok":true,"lastError":0})");
}

// A request answered in its own buffer: of its output only the bytes up to
// the last that differs from the input are written.
TEST(RecordingFile, AnAnswerInTheRequestsBufferKeepsOnlyWhatDiffers) {
    Event e;
    e.call = Call::DeviceIoControl;
    e.path = "\\\\.\\E:";
    e.code = 0x4D004;
    e.in = {0x2C, 0x00, 0x00, 0x07, 0x08};
    e.out = {0x2C, 0x00, 0x02, 0x07, 0x08};
    e.inSize = e.outSize = 5;
    const std::string line = EventLine(e, true);
    EXPECT_NE(line.find(R"("in":"2c00000708","out":"2c0002","outRestAsIn":true)"),
              std::string::npos)
        << line;
    std::string error;
    const auto read = ParseRecording(
        HeaderText(Recording{}) + line + EventLine(e, false) + EndText(false), error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(read->events[0].out, e.out);
    e.out = e.in;
    EXPECT_NE(EventLine(e, true).find(R"("out":"","outRestAsIn":true)"), std::string::npos);
}

// The events of ASPI and a port driver's output written past its declared
// size: each line reads into its fields and prints back letter for letter.
TEST(RecordingFile, AspiAndLongDriverOutputsReadBackAsWritten) {
    const std::string lines[] = {
        R"({"t":4,"call":"GetASPI32SupportInfo","value":257})",
        R"({"t":5,"call":"SendASPI32Command","request":3,"adapter":0,"target":1,"lun":0,)"
        R"("flags":17,"bufLen":4,"senseLen":14,"cdbLen":12,"cdb":"06b10000040001000000000000",)"
        R"("dataOut":"5aa5c33c","value":0})",
        R"({"t":7,"call":"SRB_PostProc","request":3,"sleeps":2,"status":4,"hostStatus":17,)"
        R"("targetStatus":2,"dataIn":"","sense":"70000500"})",
        R"({"t":9,"call":"DeviceIoControl","path":"\\\\.\\ZIZIRADA","code":65,"inSize":2,)"
        R"("outSize":1,"in":"1a00","outWritten":8,"out":"3130322e31300000","returned":0,)"
        R"("ok":true,"lastError":0})",
    };
    std::string text = HeaderText(Recording{});
    for (const std::string& line : lines) text += (&line == lines ? "" : ",\n") + line;
    std::string error;
    const auto read = ParseRecording(text + EndText(false), error);
    // The command block above holds 13 bytes: a reader refuses it.
    ASSERT_FALSE(read);
    EXPECT_NE(error.find("event 2: \"cdb\" holds 13 bytes, not 12"), std::string::npos) << error;
    text = HeaderText(Recording{});
    std::string fixed[4] = {lines[0], lines[1], lines[2], lines[3]};
    fixed[1].replace(fixed[1].find("06b10000040001000000000000"), 26, "06b100000400010000000000");
    for (std::size_t i = 0; i < 4; ++i) text += (i == 0 ? "" : ",\n") + fixed[i];
    const auto good = ParseRecording(text + EndText(false), error);
    ASSERT_TRUE(good) << error;
    ASSERT_EQ(good->events.size(), 4u);
    const Event& send = good->events[1];
    EXPECT_EQ(send.request, 3u);
    EXPECT_EQ(send.target, 1);
    EXPECT_EQ(send.aspiFlags, 0x11);
    EXPECT_EQ(send.cdbLength, 12);
    EXPECT_EQ(send.cdb[1], 0xB1);
    EXPECT_EQ(send.dataOut, (std::vector<std::uint8_t>{0x5A, 0xA5, 0xC3, 0x3C}));
    const Event& done = good->events[2];
    EXPECT_EQ(done.sleeps, 2u);
    EXPECT_EQ(done.status, 4);
    EXPECT_EQ(done.hostStatus, 0x11);
    EXPECT_EQ(done.targetStatus, 2);
    EXPECT_EQ(done.sense, (std::vector<std::uint8_t>{0x70, 0, 5, 0}));
    const Event& revision = good->events[3];
    EXPECT_EQ(revision.outSize, 1u);
    EXPECT_EQ(std::string(revision.out.begin(), revision.out.end()), std::string("102.10\0\0", 8));
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(EventLine(good->events[i], true), fixed[i]);
}

TEST(RecordingFile, NamesItselfByItsFirstKey) {
    EXPECT_TRUE(LooksLikeRecording(" \n{\"usbispRecording\": 1}"));
    EXPECT_FALSE(LooksLikeRecording("{\"windows\": \"xp\", \"usbispRecording\": 1}"));
    EXPECT_FALSE(LooksLikeRecording(""));
}

// The recorder in front of the bench: what it writes is what the platform
// below answered, the input as it went in although the answer came back in
// the same buffer, the last error as it was right after the failed open.
TEST(Recorder, WritesEachCallWithItsAnswer) {
    test::TempDir dir;
    std::string error;
    auto config = sim::LoadBenchFile("", error);
    ASSERT_TRUE(config) << error;
    config->realtime = false;
    sim::Bench bench(std::move(*config), dir.path(), nullptr, false);
    const std::string path = dir.path() + "/rec.json";
    {
        std::FILE* file = Recorder::OpenOutput(path, error);
        ASSERT_NE(file, nullptr) << error;
        Recorder recorder(bench, file, Recording{});
        EXPECT_EQ(recorder.CreateFileA("\\\\.\\Q:", 0xC0000000u, 3, 3, 0), kInvalidHandle);
        EXPECT_EQ(recorder.GetLastError(), 2u);
        const Handle drive = recorder.CreateFileA("\\\\.\\E:", 0xC0000000u, 3, 3, 0);
        ASSERT_NE(drive, kInvalidHandle);
        // An INQUIRY of 36 bytes: the header, then the data area at 48.
        std::vector<std::uint8_t> buffer(84, 0);
        const std::uint8_t header[] = {44, 0, 0, 0,  0, 0, 6, 0, 1, 0, 0, 0,    36, 0, 0, 0, 2,
                                       0,  0, 0, 48, 0, 0, 0, 0, 0, 0, 0, 0x12, 0,  0, 0, 36};
        std::copy(std::begin(header), std::end(header), buffer.begin());
        std::uint32_t returned = 0;
        ASSERT_TRUE(recorder.DeviceIoControl(drive, 0x4D004, buffer.data(), 84, buffer.data(), 84,
                                             &returned));
        EXPECT_TRUE(recorder.CloseHandle(drive));
        recorder.Sleep(100);
        const auto read = ParseRecording(test::ReadFile(path), error);
        ASSERT_TRUE(!read) << "the end is written when the recorder ends";
    }
    const auto read = ParseRecording(test::ReadFile(path), error);
    ASSERT_TRUE(read) << error;
    ASSERT_EQ(read->events.size(), 6u);
    EXPECT_EQ(read->events[0].lastError, 2u);
    EXPECT_EQ(read->events[1].call, Call::GetLastError);
    EXPECT_EQ(read->events[1].value, 2u);
    const Event& inquiry = read->events[3];
    EXPECT_EQ(inquiry.path, "\\\\.\\E:");
    EXPECT_EQ(inquiry.in[28], 0x12);
    EXPECT_EQ(inquiry.in[48], 0) << "the input before the answer";
    // The demo reader's INQUIRY: peripheral type 0, vendor "Generic " at 8.
    EXPECT_EQ(std::string(inquiry.out.begin() + 48 + 8, inquiry.out.begin() + 48 + 15), "Generic");
    EXPECT_EQ(read->events[4].call, Call::CloseHandle);
    EXPECT_EQ(read->events[4].path, "\\\\.\\E:");
    EXPECT_EQ(read->events[5].value, 100u);
}

}  // namespace
}  // namespace usbisp::rec
