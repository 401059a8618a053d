#include "firmware/image_checks.h"

#include <initializer_list>

#include "firmware/image_patch.h"

namespace usbisp {

namespace {

// The image checks' own texts, kept letter for letter: the leading "n" and "HardWare" are what
// operators see and match, so they are never corrected.
constexpr const char* kHardware = "nError!!! HardWare version not correct!!!";
constexpr const char* kEncoding = "nError!!! Firmware encoding not correct!!!";
constexpr const char* kFirmware = "nError!!! This Firmware not correct!!!";

constexpr HardwareTriple k7620C = {0x76, 0x20, 0x43};
constexpr HardwareTriple k7650C = {0x76, 0x50, 0x43};

bool ModelIs(std::string_view chipCode, std::initializer_list<std::string_view> models) {
    if (chipCode.size() < 4) return false;
    for (std::string_view model : models)
        if (chipCode.substr(0, 4) == model) return true;
    return false;
}

}  // namespace

const char* CheckCompatibility(std::uint8_t typeCode, std::uint8_t layoutMarker,
                               const HardwareTriple& triple, std::string_view chipCode) {
    const bool fe = layoutMarker == kMarkerFE;
    const bool fc = layoutMarker == kMarkerFC;
    const bool typeLow2 = (typeCode & 0x0F) == 2;
    const bool triple7620C = triple == k7620C;
    const bool triple7650C = triple == k7650C;
    const bool model734x = ModelIs(chipCode, {"7340", "7344"});
    const bool model7x10 = ModelIs(chipCode, {"7310", "7410", "7440", "7460"});
    const bool model73xx = ModelIs(chipCode, {"7311", "7353"});

    if (fe && typeLow2 && !triple7620C && !triple7650C) return kHardware;
    if (triple7620C && !(typeLow2 && fe)) return kEncoding;
    if (triple7650C && !(typeLow2 && fe)) return kEncoding;
    if (fe && typeCode == 3 && !model734x) return kHardware;
    if (model734x && !(fe && typeCode == 3)) return kFirmware;
    if (fc && typeCode == 4 && !model7x10) return kHardware;
    if (model7x10 && !(fc && typeCode == 4)) return kFirmware;
    if (fe && (typeCode == 5 || typeCode == 6) && !model73xx) return kHardware;
    if (model73xx && !(fe && (typeCode == 5 || typeCode == 6))) return kEncoding;
    return nullptr;
}

}  // namespace usbisp
