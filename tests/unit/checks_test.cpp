// Whether an image suits the controller: the nine checks in their order.
#include <gtest/gtest.h>

#include <string>

#include "firmware/image_checks.h"

namespace usbisp {
namespace {

constexpr char kHardware[] = "nError!!! HardWare version not correct!!!";
constexpr char kEncoding[] = "nError!!! Firmware encoding not correct!!!";
constexpr char kFirmware[] = "nError!!! This Firmware not correct!!!";

struct Controller {
    HardwareTriple triple;
    std::string chipCode;
};

// Discovery keeps the triple only for known chips; chipCode always.
const Controller k7620C{{0x76, 0x20, 0x43}, "762043"};
const Controller k7650C{{0x76, 0x50, 0x43}, "765043"};
const Controller k7650X{{0x76, 0x50, 0x11}, "765011"};
const Controller k7340{{0x73, 0x40, 0x11}, "734011"};
const Controller k7344{{0x73, 0x44, 0x00}, "734400"};
const Controller k7310{{0x73, 0x10, 0x00}, "731000"};
const Controller k7460{{0x74, 0x60, 0x01}, "746001"};
const Controller k7311{{0x73, 0x11, 0x00}, "731100"};
const Controller k7353{{0x73, 0x53, 0x02}, "735302"};
const Controller kOther{{0x76, 0x80, 0x47}, "768047"};
const Controller kUnknown{{0, 0, 0}, "123456"};

struct Case {
    const char* name;
    std::uint8_t type;
    std::uint8_t marker;
    const Controller& controller;
    const char* box;  // nullptr: accepted
};

TEST(CompatibilityChecks, FirstFailingCheckGivesTheBox) {
    const Case cases[] = {
        // 1: marker FE with type low 2 needs 7620C or 7650C.
        {"type 2 on another chip", 2, 0xFE, kOther, kHardware},
        {"type 0x12 on another chip", 0x12, 0xFE, kOther, kHardware},
        {"type 0x12 on 7650 without C", 0x12, 0xFE, k7650X, kHardware},
        {"type 0x12 on 7620C", 0x12, 0xFE, k7620C, nullptr},
        {"type 2 on 7650C", 2, 0xFE, k7650C, nullptr},
        // 2 and 3: 7620C and 7650C need type low 2 with marker FE.
        {"type 1 on 7620C", 1, 0xFE, k7620C, kEncoding},
        {"type 2 marker FC on 7620C", 2, 0xFC, k7620C, kEncoding},
        {"legacy on 7650C", 0x00, 0x00, k7650C, kEncoding},
        // 4: FE type 3 needs 7340 or 7344; it comes before check 7.
        {"type 3 on 7310", 3, 0xFE, k7310, kHardware},
        {"type 3 on another chip", 3, 0xFE, kOther, kHardware},
        {"type 3 on 7340", 3, 0xFE, k7340, nullptr},
        {"type 3 on 7344", 3, 0xFE, k7344, nullptr},
        // 5: 7340 and 7344 take only FE type 3.
        {"type 1 on 7340", 1, 0xFE, k7340, kFirmware},
        {"type 3 marker FC on 7344", 3, 0xFC, k7344, kFirmware},
        // 6: FC type 4 needs 7310, 7410, 7440 or 7460.
        {"type 4 on another chip", 4, 0xFC, kOther, kHardware},
        {"type 4 on 7340", 4, 0xFC, k7340, kFirmware},  // check 5 first
        {"type 4 on 7460", 4, 0xFC, k7460, nullptr},
        // 7: those take only FC type 4.
        {"type 4 marker FE on 7310", 4, 0xFE, k7310, kFirmware},
        {"legacy on 7460", 0x00, 0x00, k7460, kFirmware},
        // 8: FE type 5 or 6 needs 7311 or 7353.
        {"type 5 on another chip", 5, 0xFE, kOther, kHardware},
        {"type 6 on 7310", 6, 0xFE, k7310, kFirmware},  // check 7 before check 8
        {"type 6 on 7353", 6, 0xFE, k7353, nullptr},
        {"type 5 on 7311", 5, 0xFE, k7311, nullptr},
        // 9: 7311 and 7353 take only FE type 5 or 6.
        {"type 1 on 7311", 1, 0xFE, k7311, kEncoding},
        {"type 6 marker FC on 7353", 6, 0xFC, k7353, kEncoding},
        // Type 1 and legacy images suit every other controller.
        {"type 1 on another chip", 1, 0xFE, kOther, nullptr},
        {"legacy on an unknown chip", 0x07, 0x31, kUnknown, nullptr},
        {"type 4 marker FE on another chip", 4, 0xFE, kOther, nullptr},
    };
    for (const Case& c : cases) {
        const char* box =
            CheckCompatibility(c.type, c.marker, c.controller.triple, c.controller.chipCode);
        EXPECT_STREQ(box, c.box) << c.name;
    }
}

}  // namespace
}  // namespace usbisp
