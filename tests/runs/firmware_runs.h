// What the scripted firmware runs share: a bench with one card reader on E:,
// DEVICE.TXT, ROM code and address files, and the pieces the expected
// transcripts are written from.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/sim/transcript_text.h"
#include "support/test_support.h"

namespace usbisp::test::fw {

using sim::QuoteText;

// 56 equals signs.
inline const std::string kRule = "========================================================";
inline const std::string kProgramTitle = "==  Internal System Program Ver1.60             ";
inline const std::string kVerifyTitle = "==  Verify Firmware Program Ver1.60             ";

struct Reader {
    std::string hardware = "73 11 00";  // a 7311
    std::string firmware;               // hex
    std::string answers;                // the members of the "answers" object
    std::string failures;               // the elements of the "failures" array
    std::string scsiStatus;             // the members of the "scsiStatus" object
    std::string windows = "xp";
    std::string clock = "2003-11-18T09:30:00";
};

inline std::string BenchJson(const Reader& r) {
    return R"({"windows": ")" + r.windows + R"(", "clock": ")" + r.clock +
           R"(", "readers": [{"letters": "E", "vid": "058f", "pid": "6362", "serial": "000000000001",)"
           R"( "inquiry": {"vendor": "Generic", "product": "Flash Reader", "revision": "1.00"},)"
           R"( "hardwareRevision": ")" +
           r.hardware + R"(", "firmware": ")" + r.firmware + R"(", "answers": {)" + r.answers +
           R"(}, "failures": [)" + r.failures + R"(], "scsiStatus": {)" + r.scsiStatus + "}}]}";
}

// The identity discovery accepts the reader by, the ROM code file and `extra`.
inline std::string DeviceTxt(const std::string& extra = "",
                             const std::string& rom = "ISP_ROMCODE = \"ROM.BIN\";\n") {
    return "FA_Inquiry_Manufacture = \"Generic\";\nFA_Inquiry_Product = \"Flash Reader\";\n" + rom +
           extra;
}

using Bytes = std::vector<unsigned char>;

// An image of `size` bytes with the two header bytes and a body that is never
// zero, so that stamped and cleared bytes show.
inline Bytes Image(std::size_t size, std::uint8_t type, std::uint8_t marker) {
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<unsigned char>(0x80 | (i & 0x7F));
    if (size > 0) image[0] = type;
    if (size > 1) image[1] = marker;
    return image;
}

inline Bytes AddressFile(std::int32_t base, std::int32_t a, std::int32_t b) {
    Bytes bytes;
    for (std::int32_t v : {base, a, b})
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<unsigned char>(static_cast<std::uint32_t>(v) >> (8 * i)));
    return bytes;
}

// The 26-byte descriptor of a 12-character serial.
inline Bytes Descriptor(const std::string& serial12) {
    Bytes d = {0x1A, 0x03};
    for (std::size_t i = 0; i < 12; ++i) {
        d.push_back(i < serial12.size() ? static_cast<unsigned char>(serial12[i]) : 0);
        d.push_back(0);
    }
    return d;
}

inline void Put(Bytes& image, std::size_t at, const Bytes& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) image[at + i] = bytes[i];
}

inline Bytes ReadBytes(const TempDir& dir, const std::string& name) {
    const std::string text = dir.Read(name);
    return Bytes(text.begin(), text.end());
}

// What a script prints after start-up, without the final "end ok": the run of
// "click Close" alone is the start-up.
inline std::string FlowTranscript(const TempDir& dir, const std::string& bench,
                                  const std::string& script, RunOptions options = {}) {
    const RunResult start = RunScript(dir, bench, "click Close\n", options);
    const RunResult run = RunScript(dir, bench, script + "click Close\n", options);
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    const std::string end = "end ok\n";
    const std::string startUp = start.transcript.substr(0, start.transcript.size() - end.size());
    if (run.transcript.rfind(startUp, 0) != 0 ||
        run.transcript.size() < startUp.size() + end.size()) {
        ADD_FAILURE() << "the run does not begin with the start-up:\n" << run.transcript;
        return run.transcript;
    }
    EXPECT_EQ(run.transcript.substr(run.transcript.size() - end.size()), end);
    return run.transcript.substr(startUp.size(),
                                 run.transcript.size() - startUp.size() - end.size());
}

// Pieces of expected transcripts.
inline std::string Text(const std::string& text) {
    return "progress text " + QuoteText(text) + "\n";
}
inline std::string Step(int step, int position) {
    return "progress setstep " + std::to_string(step) + "\nprogress stepit " +
           std::to_string(position) + "\n";
}
inline std::string StopBox(const std::string& text) {
    return "box stop \"UsbIsp\" " + QuoteText(text) + "\n";
}
inline std::string Report(const std::string& text) {
    return "field 1021 " + QuoteText(text) + "\n";
}
// The three counter lines the handler adds after a programming run.
inline std::string Counters(int success, int error, int total) {
    char text[128];
    std::snprintf(
        text, sizeof text,
        "\n\nSuccess Number Of ISP: %x\nError   Number Of ISP: %x\nTotal   Number Of ISP: %x",
        success, error, total);
    return text;
}
inline const std::string kProgramWindow =
    "progress open\nprogress range 0 15\nprogress show\n"
    "progress caption \"    ISP status : \"\nprogress text \"\"\n" +
    Step(3, 3);

// The status text of a programming run up to the serial number.
inline std::string ProgramHeader(const std::string& counterLine, const std::string& serial,
                                 const std::string& rom = "ROM.BIN",
                                 const std::string& driver = "") {
    return kRule + "\n" + kProgramTitle + "\n" + kRule + "\n" + counterLine +
           "\n==  ROMCODE = " + rom + " || VxD DRIVER = " + driver + " \n" + kRule +
           "\nSERIAL NUMBER: " + serial + "\n" + kRule;
}
inline const std::string kJumpLine = "\nSUCCESS! ISP STATUS:9c [Firmware jump into ISP now]";
inline const std::string kWriteLine = "\nSUCCESS! ISP STATUS:a5 [Write Data sucessfull]";
inline const std::string kVerifyLine = "\nSUCCESS! ISP STATUS:5a [Verify Data sucessfull]";

// What a programming run that succeeds at its first attempt shows after the
// status text `header`.
inline std::string FirstAttemptSuccess(const std::string& header) {
    return kProgramWindow + "sleep 100\n" + Text(header + kJumpLine) + Step(2, 5) + Step(2, 7) +
           Step(2, 9) + Step(2, 11) + Text(header + kJumpLine + kWriteLine) + Step(4, 15) +
           Text(header + kJumpLine + kWriteLine + kVerifyLine) + "progress hide\n" +
           Report(header + kJumpLine + kWriteLine + kVerifyLine + Counters(1, 0, 1));
}

}  // namespace usbisp::test::fw
