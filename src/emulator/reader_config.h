// A card reader as the bench file describes it (its reader keys): what it
// says about itself, the firmware it holds, and the requests it answers
// otherwise than a sound controller would. The bench and the virtual reader
// build their readers from it; reading it from the bench file is the bench's.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/image_layout.h"

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
    // Where the firmware keeps its identity data. With it, a replugged reader
    // reports the strings of the firmware it holds instead of the keys above.
    std::optional<AddressRecord> identityLayout;
    // Per command, the status bytes the next status reads report, in order.
    std::map<std::string, std::vector<std::uint8_t>> answers;
    // "Name" fails every such request, "Name#n" only the n-th.
    std::vector<std::string> failures;
    // "Name#n" -> the SCSI status that request completes with.
    std::map<std::string, std::uint8_t> scsiStatus;
    // ASPI requests that never complete: "Name" every one, "Name#n" the n-th.
    std::vector<std::string> hangs;
    // "Name#n" -> the milliseconds that ASPI request takes to complete,
    // instead of the library's latency.
    std::map<std::string, int> delays;
};

}  // namespace usbisp::sim
