// The emulated machine as the bench file describes it (JSON), checked whole
// before anything runs.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace usbisp::sim {

struct ReaderConfig {
    std::string letters;   // one drive letter per unit, upper case
    int aspiAdapter = -1;  // -1: no ASPI address
    int aspiTarget = -1;
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
    std::string manufacturer;
    std::string product;
    std::string serial;
    std::string inquiryVendor;    // space-padded to 8
    std::string inquiryProduct;   // space-padded to 16
    std::string inquiryRevision;  // space-padded to 4
    std::vector<std::uint8_t> firmwareRevision;
    std::vector<std::uint8_t> firmwareRevisionOrg;
    std::vector<std::uint8_t> usb20FirmwareRevision;
    std::vector<std::uint8_t> hardwareRevision;
    bool memoryStick = false;
    std::string memoryStickMain;
    std::string memoryStickLoader;
    std::vector<std::uint8_t> firmware;
    // Per command, the status bytes the next status reads report, in order.
    std::map<std::string, std::vector<std::uint8_t>> answers;
    // "Name" fails every such request, "Name#n" only the n-th.
    std::vector<std::string> failures;
    // "Name#n" -> the SCSI status that request completes with.
    std::map<std::string, std::uint8_t> scsiStatus;
    // ASPI requests that never complete: "Name" every one, "Name#n" the n-th.
    std::vector<std::string> hangs;
};

// How a drive answers a pass-through request it refuses (a vendor command to a
// plain disk, an identity read in ISP mode, an unknown command block).
enum class Refusals {
    Transport,       // the request fails in transport (the default)
    CheckCondition,  // it completes with CHECK CONDITION and ILLEGAL REQUEST
                     // sense, as a real USB reader answers
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
    Refusals refusals = Refusals::Transport;
    std::vector<ReaderConfig> readers;
};

// The version word GetVersion gives on each value of the `windows` key; empty
// when the value is not one the bench knows.
std::optional<std::uint32_t> VersionWordFor(const std::string& windows);

// Parses and checks a bench file's text. `baseDir` resolves "@FILE" firmware.
// On error returns nothing and sets `error` to one line naming the key and
// what is wrong (the caller adds the file name).
std::optional<BenchConfig> ParseBenchConfig(const std::string& text, const std::string& baseDir,
                                            std::string& error);

}  // namespace usbisp::sim
