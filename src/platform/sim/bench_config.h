// The emulated machine as the bench file describes it (JSON), checked whole
// before anything runs.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "emulator/reader_config.h"
#include "platform/platform.h"
#include "platform/recording.h"

namespace usbisp::sim {

// How ASPI answers a request it fails at once, without reaching a device (an
// invalid host adapter, a target without a reader, a malformed block).
enum class AspiImmediate {
    Post,           // SS_PENDING, and the status through the routine (the default)
    Return,         // the status returned by SendASPI32Command; the routine is not called
    ReturnAndPost,  // the routine is called before SendASPI32Command returns the status
};

// After `after` requests the library has taken, readers `first` and `second`
// (bench order) exchange their [host adapter, target]: one reader taken away
// and another put in its place.
struct AspiSwap {
    int after = 0;
    int first = 0;
    int second = 0;
};

// How a drive answers a pass-through request it refuses (a vendor command to a
// plain disk, an identity read in ISP mode, an unknown command block).
enum class Refusals {
    Transport,       // the request fails in transport (the default)
    CheckCondition,  // it completes with CHECK CONDITION and ILLEGAL REQUEST
                     // sense, as a real USB reader answers
};

// A reader that is a recording: its devices answer as the recorded machine
// did (replay.h), in the recorded order or, with `anyOrder`, by request.
struct RecordedReader {
    std::shared_ptr<const rec::Recording> recording;
    std::string name;  // the recording's file
    bool anyOrder = false;
};

struct BenchConfig {
    std::string windows = "xp";
    std::uint32_t versionWord = 0;
    std::optional<LocalTime> clock;  // absent: the real clock
    bool realtime = false;
    // The program runs as a user without administrator rights: Windows 2000
    // and XP refuse such a user the opening of a drive for reading or writing.
    bool limitedUser = false;
    std::string drives;                // letters of plain fixed disks
    std::string remoteDrives;          // letters of network drives: they refuse every open
    std::vector<std::string> drivers;  // the maker's driver files installed
    // "FILE" fails every open of that driver's device, "FILE#n" the n-th.
    std::vector<std::string> driverOpenFailures;
    // What a port driver reports as its device count, instead of the number
    // of readers.
    std::optional<int> portDriverDeviceCount;
    int aspiAdapters = -1;                 // -1: ASPI not installed
    int aspiLatency = 1;                   // milliseconds
    int aspiState = 1;                     // what the support information reports (1: completed)
    std::vector<std::string> aspiMissing;  // entry points the library lacks
    // "LoadLibrary" or "GetASPI32SupportInfo", every call or "Name#n" the
    // n-th: the library does not load, or reports no host adapter.
    std::vector<std::string> aspiFailures;
    AspiImmediate aspiImmediate = AspiImmediate::Post;
    std::optional<AspiSwap> aspiSwap;
    // Not a bench file key (a transcript of it would differ from run to run):
    // tests set it, with `realtime`, to have each completion delivered by a
    // thread of the library at its due time, with nothing handed over to the
    // program's waits (see aspi_library.h).
    bool aspiAsync = false;
    Refusals refusals = Refusals::Transport;
    std::vector<ReaderConfig> readers;
    std::vector<RecordedReader> recordedReaders;
    // The drive letters (GetLogicalDrives) of a recorded machine, beside the
    // bench's own.
    std::uint32_t recordedDrives = 0;
};

// The version word GetVersion gives on each value of the `windows` key; empty
// when the value is not one the bench knows.
std::optional<std::uint32_t> VersionWordFor(const std::string& windows);

// Parses and checks a bench file's text. `baseDir` resolves "@FILE" firmware.
// On error returns nothing and sets `error` to one line naming the key and
// what is wrong (the caller adds the file name).
std::optional<BenchConfig> ParseBenchConfig(const std::string& text, const std::string& baseDir,
                                            std::string& error);

// Every key path ParseBenchConfig accepts, objects and the keys under them
// alike: "windows", "aspi.swap.after", "readers", "readers[].inquiry.vendor".
// The keys of `answers`, `scsiStatus` and `delays` are the requests they name.
std::vector<std::string> BenchKeys();

}  // namespace usbisp::sim
