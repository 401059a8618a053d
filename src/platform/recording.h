// A recording: every call a session made on the platform that touches a
// device or reads the machine's description, with what the platform answered,
// in the order made. Any face writes one (the recorder, recorder.h) and the
// bench replays one (platform/sim/replay.h): a recording is a bench.
//
// The file is JSON, one event per line between a header and an end:
//
//   {"usbispRecording": 1, "program": "usbisp", "version": "0.1.0",
//    "platform": "Linux, real card readers (Windows XP to the program)",
//    "facts": {"drive E": "/dev/sg2 at USB port 1-1"},
//    "events": [
//   {"t": 0, "call": "GetVersion", "value": 170393861},
//   {"t": 3, "call": "CreateFileA", "path": "\\\\.\\E:", "access": 3221225472,
//    "share": 3, "disposition": 3, "flags": 128, "ok": true, "lastError": 0},
//   {"t": 4, "call": "DeviceIoControl", "path": "\\\\.\\E:", "code": 315396,
//    "inSize": 80, "outSize": 80, "in": "2c00...", "out": "2c00...",
//    "returned": 80, "ok": true, "lastError": 0},
//   ...
//   ],
//    "end": "complete"}
//
// `t` is milliseconds since the recording began; bytes are lower-case hex.
// A request whose output buffer is as long as its input (the pass-through,
// sent and answered in one buffer) writes "outRestAsIn": true and of "out"
// only the bytes up to the last one that differs from the input's. A port
// driver that writes more than the output it was given (the firmware
// revision's eight bytes behind an output of one) has "outWritten": the bytes
// it wrote, all of them in "out".
//
// ASPI, called through the library's entry points, has three events:
//
//   {"t": 9, "call": "GetASPI32SupportInfo", "value": 257},
//   {"t": 9, "call": "SendASPI32Command", "request": 1, "adapter": 0,
//    "target": 1, "lun": 0, "flags": 9, "bufLen": 40, "senseLen": 14,
//    "cdbLen": 6, "cdb": "120000002800", "dataOut": "", "value": 0},
//   {"t": 10, "call": "SRB_PostProc", "request": 1, "sleeps": 1, "status": 1,
//    "hostStatus": 0, "targetStatus": 0, "dataIn": "0080...", "sense": ""},
//
// a request as it was submitted (the data going out with it) and what
// SendASPI32Command returned; its completion, as the completion routine
// found it: the status bytes, the data that came in (a request of direction
// in) and the sense of one that did not complete. "sleeps" is how many waits
// the program had begun since it submitted the request: 0 for a completion
// that came before it looked (also one made before the submission returned).
// A completion is always written after its request; a request without one
// never completed, or was answered at once by what SendASPI32Command returned.
// "end" is "complete", or "cut" when the recording reached its size bound
// and the calls after it were not written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace usbisp::rec {

inline constexpr int kFormatVersion = 1;
// The key that makes a JSON file a recording.
inline constexpr const char* kMarkerKey = "usbispRecording";

// A programming run's recording is a few hundred kB; a recording stops
// growing at this size, and a larger file is not read.
inline constexpr std::size_t kMaxRecordingBytes = 32u << 20;
// The most bytes one buffer of a call holds: the pass-through's whole request
// buffer is 65616 bytes.
inline constexpr std::uint32_t kMaxBufferBytes = 1u << 20;
inline constexpr std::size_t kMaxFacts = 256;
inline constexpr std::size_t kMaxTextLength = 4096;
// An ASPI request block's command area and sense area.
inline constexpr std::uint32_t kMaxCdbBytes = 16;
inline constexpr std::uint32_t kMaxSenseBytes = 16;

enum class Call {
    GetVersion,
    CreateFileA,
    DeviceIoControl,
    CloseHandle,
    GetLastError,
    GetLogicalDrives,
    Sleep,
    LoadLibraryA,
    GetProcAddress,
    FreeLibrary,
    RegOpenKeyExA,
    RegQueryValueExA,
    RegCloseKey,
    GetLocalTime,
    GetDriveTypeA,
    GetASPI32SupportInfo,
    SendASPI32Command,
    SRB_PostProc,
};

// The call's name in the file: the Windows call's own.
const char* CallName(Call call);
std::optional<Call> CallNamed(std::string_view name);

struct Event {
    Call call = Call::GetVersion;
    std::uint64_t t = 0;
    // The device of CreateFileA, DeviceIoControl and CloseHandle; the key of
    // RegOpenKeyExA; the value of RegQueryValueExA; the library or entry point;
    // the root of GetDriveTypeA.
    std::string path;
    // CreateFileA.
    std::uint32_t access = 0, share = 0, disposition = 0, flags = 0;
    // DeviceIoControl: the input as it went in, the output as it came back
    // (outSize bytes, or more where a port driver writes more than declared:
    // see PortDriverOutputLength), and the bytes returned. RegQueryValueExA:
    // `out` is the data and `returned` its size.
    std::uint32_t code = 0, inSize = 0, outSize = 0, returned = 0;
    std::vector<std::uint8_t> in, out;
    bool ok = false;
    // CreateFileA and DeviceIoControl: the last error after a failed call.
    std::uint32_t lastError = 0;
    // The result of GetVersion, GetLastError, GetLogicalDrives, GetDriveTypeA and the
    // registry calls; the milliseconds of Sleep.
    std::uint32_t value = 0;
    LocalTime time;  // GetLocalTime
    // SendASPI32Command and SRB_PostProc: the request (counted from 1) they
    // belong to. SendASPI32Command's `value` is what it returned.
    std::uint32_t request = 0;
    std::uint8_t adapter = 0, target = 0, lun = 0, aspiFlags = 0, senseLength = 0, cdbLength = 0;
    std::uint32_t bufferLength = 0;
    std::vector<std::uint8_t> cdb, dataOut;
    // SRB_PostProc: the waits begun between the submission and the
    // completion, the status bytes, the data that came in and the sense.
    std::uint32_t sleeps = 0;
    std::uint8_t status = 0, hostStatus = 0, targetStatus = 0;
    std::vector<std::uint8_t> dataIn, sense;
};

struct Recording {
    int format = kFormatVersion;
    std::string program;   // "usbisp", "UsbIsp.exe"
    std::string version;   // the program's version
    std::string platform;  // what it ran on, in words
    // What the platform found before the first call, in words: the Linux
    // layer's drives with their sg nodes and USB ports.
    std::vector<std::pair<std::string, std::string>> facts;
    std::vector<Event> events;
    bool cut = false;
};

// The file's text in three parts, so that a recorder can write each event as
// it happens: the header up to the opening of "events", one line per event
// (with its separator), and the end.
std::string HeaderText(const Recording& header);
std::string EventLine(const Event& event, bool first);
std::string EndText(bool cut);

// Whether a JSON text names itself a recording (its first key).
bool LooksLikeRecording(std::string_view text);

// Reads and checks a recording; nothing but one line in `error` (naming the
// event and what is wrong) when it is not sound: not JSON, truncated, of
// another format version, or beyond the bounds above.
std::optional<Recording> ParseRecording(std::string_view text, std::string& error);

// How a call reads in an error: DeviceIoControl "\\.\E:" 0x4d004 in=80
// (and the command block of a pass-through request).
std::string DescribeCall(const Event& event);

}  // namespace usbisp::rec
