// The card reader's USB Bulk-Only front against hand-made command block
// wrappers: the thirteen ways the host's and the device's idea of the data
// phase can meet, wrappers that are not commands, the class requests, the
// empty reader's answers to the standard commands, and the vendor commands
// reaching the same controller the bench's drives use.
#include "emulator/usb_bulk_only.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "platform/printf_text.h"

namespace usbisp {
namespace {

using Bytes = std::vector<std::uint8_t>;
using sim::BulkStep;

constexpr std::uint32_t kTag = 0x1234ABCD;

Bytes FromHex(const std::string& hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// A wrapper as a host builds it: `dir` 'i' for data in, 'o' for data out; the
// command block's length is that of `cb` unless `cbLength` says otherwise.
Bytes Wrapper(char dir, std::uint32_t length, const std::string& cb, std::uint8_t lun = 0,
              int cbLength = -1, std::uint8_t extraFlags = 0) {
    Bytes w(31, 0);
    PutLe32(&w[0], 0x43425355);
    PutLe32(&w[4], kTag);
    PutLe32(&w[8], length);
    w[12] = static_cast<std::uint8_t>((dir == 'i' ? 0x80 : 0x00) | extraFlags);
    w[13] = lun;
    const Bytes block = FromHex(cb);
    w[14] = static_cast<std::uint8_t>(cbLength >= 0 ? cbLength : static_cast<int>(block.size()));
    std::copy(block.begin(), block.end(), w.begin() + 15);
    return w;
}

// The steps in a few words; a status wrapper must carry the command's tag.
std::string Describe(const std::vector<BulkStep>& steps) {
    std::string text;
    for (const BulkStep& s : steps) {
        if (!text.empty()) text += ' ';
        switch (s.kind) {
            case BulkStep::Kind::SendData:
                text += "in=" + std::to_string(s.bytes.size());
                break;
            case BulkStep::Kind::ReceiveData:
                text += "out=" + std::to_string(s.length);
                break;
            case BulkStep::Kind::StallIn:
                text += "stall-in";
                break;
            case BulkStep::Kind::StallOut:
                text += "stall-out";
                break;
            case BulkStep::Kind::SendStatus:
                EXPECT_EQ(s.bytes.size(), 13u);
                EXPECT_EQ(GetLe32(&s.bytes[0]), 0x53425355u);
                EXPECT_EQ(GetLe32(&s.bytes[4]), kTag);
                text += "status=" + std::to_string(s.bytes[12]) +
                        " residue=" + std::to_string(GetLe32(&s.bytes[8]));
                break;
        }
    }
    return text;
}

Bytes DataOf(const std::vector<BulkStep>& steps) {
    for (const BulkStep& s : steps)
        if (s.kind == BulkStep::Kind::SendData) return s.bytes;
    return {};
}

sim::ReaderConfig Reader(const std::string& letters = "E") {
    sim::ReaderConfig r;
    r.letters = letters;
    r.vid = 0x058F;
    r.pid = 0x6362;
    r.inquiryVendor = "Generic ";
    r.inquiryProduct = "Flash Reader    ";
    r.inquiryRevision = "1.00";
    r.firmware = Bytes(1000, 0x11);
    return r;
}

class UsbFront {
  public:
    explicit UsbFront(sim::ReaderConfig config = Reader())
        : controller(
              std::make_shared<sim::ReaderController>(config, sim::ReaderEnvironment{false, 1})),
          front(controller, config.letters.size()) {}

    // A whole exchange: the wrapper, and the data a data phase out asks for
    // (`sent` bytes of `fill`, all it asks when `sent` is negative).
    std::string Exchange(const Bytes& wrapper, long sent = -1, std::uint8_t fill = 0x11) {
        last = front.Received(wrapper);
        std::string text = Describe(last);
        if (!last.empty() && last.back().kind == BulkStep::Kind::ReceiveData) {
            const std::size_t n = sent < 0 ? last.back().length : static_cast<std::size_t>(sent);
            last = front.Received(Bytes(n, fill));
            text += " | " + Describe(last);
        }
        return text;
    }
    // The sense data unit `lun` reports, as key/asc.
    std::string Sense(std::uint8_t lun = 0) {
        const auto steps = front.Received(Wrapper('i', 18, "030000001200", lun));
        const Bytes sense = DataOf(steps);
        if (sense.size() < 13) return "none";
        return Printf("%02x/%02x", sense[2], sense[12]);
    }

    std::shared_ptr<sim::ReaderController> controller;
    sim::UsbBulkOnlyFront front;
    std::vector<BulkStep> last;
};

const std::string kInquiry = "120000002400";
const std::string kTestUnitReady = "000000000000";
const std::string kStartStop = "1b0000000000";
const std::string kIspJump = "06bf00000800000000000000";
const std::string kIspStatus = "06b000000800000000000000";
const std::string kReadIdentity = "060500000000000080000000";
// IspWrite and IspVerify of 1000 bytes in two blocks.
const std::string kIspWrite = "06b10000e803020000000000";
const std::string kIspVerify = "06b20100e803020000000000";

TEST(UsbBulkOnly, HostAndDeviceDataPhases) {
    struct Row {
        const char* name;
        bool ispMode;  // the controller runs its ISP code first
        char dir;
        std::uint32_t length;
        std::string cb;
        long sent;  // data-out bytes the host sends; -1: what the device asks
        std::string expected;
    };
    const Row rows[] = {
        // Hn: the host expects no data.
        {"1 Hn=Dn passed", false, 'o', 0, kStartStop, -1, "status=0 residue=0"},
        {"1 Hn=Dn failed", false, 'o', 0, kTestUnitReady, -1, "status=1 residue=0"},
        {"1 Hn=Dn vendor", false, 'i', 0, kIspJump, -1, "status=0 residue=0"},
        {"2 Hn<Di", false, 'i', 0, kInquiry, -1, "status=2 residue=0"},
        {"3 Hn<Do", true, 'o', 0, kIspWrite, -1, "status=2 residue=0"},
        // Hi: the host expects data in.
        {"4 Hi>Dn failed", false, 'i', 18, kTestUnitReady, -1, "stall-in status=1 residue=18"},
        {"4 Hi>Dn passed", false, 'i', 8, kIspJump, -1, "stall-in status=0 residue=8"},
        {"5 Hi>Di", false, 'i', 96, kInquiry, -1, "in=36 stall-in status=0 residue=60"},
        {"6 Hi=Di", false, 'i', 36, kInquiry, -1, "in=36 status=0 residue=0"},
        {"6 Hi=Di identity", false, 'i', 528, kReadIdentity, -1, "in=528 status=0 residue=0"},
        {"7 Hi<Di", false, 'i', 20, kInquiry, -1, "in=20 status=2 residue=0"},
        {"7 Hi<Di identity", false, 'i', 512, kReadIdentity, -1, "in=512 status=2 residue=0"},
        {"8 Hi<>Do", true, 'i', 1024, kIspWrite, -1, "stall-in status=2 residue=1024"},
        // Ho: the host sends data.
        {"9 Ho>Dn failed", false, 'o', 512, kTestUnitReady, -1, "stall-out status=1 residue=512"},
        {"9 Ho>Dn passed", false, 'o', 512, kIspJump, -1, "stall-out status=0 residue=512"},
        {"10 Ho<>Di", false, 'o', 36, kInquiry, -1, "stall-out status=2 residue=36"},
        {"11 Ho>Do", true, 'o', 1536, kIspWrite, -1, "out=1024 | stall-out status=0 residue=512"},
        {"12 Ho=Do", true, 'o', 1024, kIspWrite, -1, "out=1024 | status=0 residue=0"},
        {"13 Ho<Do", true, 'o', 512, kIspWrite, -1, "out=512 | status=2 residue=0"},
        {"12 ended short", true, 'o', 1024, kIspWrite, 700, "out=1024 | status=2 residue=324"},
        {"12 refused outside ISP mode", false, 'o', 1024, kIspWrite, -1,
         "out=1024 | status=1 residue=0"},
    };
    for (const Row& row : rows) {
        UsbFront usb;
        if (row.ispMode) usb.Exchange(Wrapper('i', 0, kIspJump));
        EXPECT_EQ(usb.Exchange(Wrapper(row.dir, row.length, row.cb), row.sent), row.expected)
            << row.name;
        EXPECT_EQ(usb.front.state(), sim::UsbBulkOnlyFront::State::Command) << row.name;
    }
}

TEST(UsbBulkOnly, DataPhaseOutcomeReachesTheController) {
    UsbFront usb;
    usb.Exchange(Wrapper('i', 0, kIspJump));
    // Only the whole data phase is carried out: the short one stored nothing.
    usb.Exchange(Wrapper('o', 512, kIspWrite), -1, 0x22);
    EXPECT_EQ(usb.controller->Firmware(), Bytes(1000, 0x11));
    usb.Exchange(Wrapper('o', 1024, kIspWrite), 700, 0x22);
    EXPECT_EQ(usb.controller->Firmware(), Bytes(1000, 0x11));
    // The payload is the byte count of the command, not the padded blocks.
    usb.Exchange(Wrapper('o', 1536, kIspWrite), -1, 0x33);
    EXPECT_EQ(usb.controller->Firmware(), Bytes(1000, 0x33));
    usb.Exchange(Wrapper('i', 8, kIspStatus));
    EXPECT_EQ(DataOf(usb.last), FromHex("a500000000000000"));
    usb.Exchange(Wrapper('o', 1024, kIspVerify), -1, 0x33);
    usb.Exchange(Wrapper('i', 8, kIspStatus));
    EXPECT_EQ(DataOf(usb.last)[0], 0x5A);
    usb.Exchange(Wrapper('o', 1024, kIspVerify), -1, 0x44);
    usb.Exchange(Wrapper('i', 8, kIspStatus));
    EXPECT_EQ(DataOf(usb.last)[0], 0x33);
}

TEST(UsbBulkOnly, WrappersThatAreNotCommands) {
    struct Row {
        const char* name;
        Bytes wrapper;
        std::string expected;
        bool resetNeeded;
    };
    Bytes shortWrapper = Wrapper('i', 36, kInquiry);
    shortWrapper.pop_back();
    Bytes longWrapper = Wrapper('i', 36, kInquiry);
    longWrapper.push_back(0);
    Bytes badSignature = Wrapper('i', 36, kInquiry);
    badSignature[3] = 0x44;
    const Row rows[] = {
        {"30 bytes", shortWrapper, "stall-in stall-out", true},
        {"32 bytes", longWrapper, "stall-in stall-out", true},
        {"signature", badSignature, "stall-in stall-out", true},
        {"empty transfer", Bytes{}, "stall-in stall-out", true},
        // Valid but not meaningful: answered, out of phase, without data.
        {"unit 1 of 1", Wrapper('i', 36, kInquiry, 1), "stall-in status=2 residue=36", false},
        {"unit in the high bits", Wrapper('i', 36, kInquiry, 0x10), "stall-in status=2 residue=36",
         false},
        {"reserved flag bit", Wrapper('i', 36, kInquiry, 0, -1, 0x40),
         "stall-in status=2 residue=36", false},
        {"no command block", Wrapper('o', 0, kInquiry, 0, 0), "status=2 residue=0", false},
        {"17-byte command block", Wrapper('o', 512, kInquiry, 0, 17),
         "stall-out status=2 residue=512", false},
    };
    for (const Row& row : rows) {
        UsbFront usb;
        EXPECT_EQ(usb.Exchange(row.wrapper), row.expected) << row.name;
        const auto state = row.resetNeeded ? sim::UsbBulkOnlyFront::State::ResetNeeded
                                           : sim::UsbBulkOnlyFront::State::Command;
        EXPECT_EQ(usb.front.state(), state) << row.name;
        // Nothing reached the controller.
        EXPECT_EQ(usb.controller->RequestCount(sim::Operation::Inquiry), 0) << row.name;
    }
}

TEST(UsbBulkOnly, AnInvalidWrapperHoldsUntilTheReset) {
    UsbFront usb;
    EXPECT_EQ(usb.Exchange(Bytes(31, 0)), "stall-in stall-out");
    // Commands are dropped and bulk-in halted again until the host resets.
    EXPECT_EQ(usb.Exchange(Wrapper('i', 36, kInquiry)), "stall-in");
    EXPECT_EQ(usb.controller->RequestCount(sim::Operation::Inquiry), 0);
    EXPECT_TRUE(usb.front.Control({0x21, 0xFF, 0, 0, 0}).has_value());
    EXPECT_EQ(usb.Exchange(Wrapper('i', 36, kInquiry)), "in=36 status=0 residue=0");
}

TEST(UsbBulkOnly, ResetAbandonsTheDataPhase) {
    UsbFront usb;
    usb.Exchange(Wrapper('i', 0, kIspJump));
    EXPECT_EQ(Describe(usb.front.Received(Wrapper('o', 1024, kIspWrite))), "out=1024");
    usb.front.Reset();
    // What comes next is a command, not the abandoned data.
    EXPECT_EQ(usb.Exchange(Wrapper('i', 8, kIspStatus)), "in=8 status=0 residue=0");
    EXPECT_EQ(usb.controller->RequestCount(sim::Operation::IspWrite), 0);
}

TEST(UsbBulkOnly, ClassRequests) {
    struct Row {
        const char* name;
        std::string letters;
        sim::UsbSetup setup;
        std::optional<Bytes> reply;
    };
    const Row rows[] = {
        {"max LUN, one unit", "E", {0xA1, 0xFE, 0, 0, 1}, Bytes{0}},
        {"max LUN, three units", "EFG", {0xA1, 0xFE, 0, 0, 1}, Bytes{2}},
        {"max LUN, no letters", "", {0xA1, 0xFE, 0, 0, 1}, Bytes{0}},
        {"max LUN, two bytes", "E", {0xA1, 0xFE, 0, 0, 2}, std::nullopt},
        {"max LUN, a value", "E", {0xA1, 0xFE, 1, 0, 1}, std::nullopt},
        {"max LUN, other interface", "E", {0xA1, 0xFE, 0, 1, 1}, std::nullopt},
        {"max LUN as out", "E", {0x21, 0xFE, 0, 0, 1}, std::nullopt},
        {"reset", "E", {0x21, 0xFF, 0, 0, 0}, Bytes{}},
        {"reset with data", "E", {0x21, 0xFF, 0, 0, 1}, std::nullopt},
        {"reset as in", "E", {0xA1, 0xFF, 0, 0, 0}, std::nullopt},
        {"another request", "E", {0xA1, 0xFC, 0, 0, 1}, std::nullopt},
    };
    for (const Row& row : rows) {
        UsbFront usb(Reader(row.letters));
        EXPECT_EQ(usb.front.Control(row.setup), row.reply) << row.name;
    }
}

TEST(UsbBulkOnly, EmptyReaderAnswersTheStandardCommands) {
    struct Row {
        const char* name;
        char dir;
        std::uint32_t length;
        std::string cb;
        std::string expected;
        std::string data;   // hex of the data sent, when checked
        std::string sense;  // key/asc that REQUEST SENSE reports afterwards
    };
    const Row rows[] = {
        {"test unit ready", 'o', 0, kTestUnitReady, "status=1 residue=0", "", "02/3a"},
        {"read capacity", 'i', 8, "25000000000000000000", "stall-in status=1 residue=8", "",
         "02/3a"},
        {"read(10)", 'i', 4096, "28000000000000000800", "stall-in status=1 residue=4096", "",
         "02/3a"},
        {"write(10)", 'o', 512, "2a000000000000000100", "stall-out status=1 residue=512", "",
         "02/3a"},
        {"read format capacities", 'i', 252, "2300000000000000fc00",
         "stall-in status=1 residue=252", "", "02/3a"},
        {"synchronize cache", 'o', 0, "35000000000000000000", "status=1 residue=0", "", "02/3a"},
        {"mode sense(6) all pages", 'i', 192, "1a003f00c000", "in=4 stall-in status=0 residue=188",
         "03000000", "00/00"},
        {"mode sense(6) cut short", 'i', 2, "1a003f000200", "in=2 status=0 residue=0", "0300",
         "00/00"},
        {"mode sense(10) all pages", 'i', 8, "5a003f00000000000800", "in=8 status=0 residue=0",
         "0006000000000000", "00/00"},
        {"mode sense(6) caching page", 'i', 192, "1a000800c000", "stall-in status=1 residue=192",
         "", "05/24"},
        {"mode sense(6) saved values", 'i', 192, "1a00ff00c000", "stall-in status=1 residue=192",
         "", "05/39"},
        {"prevent removal", 'o', 0, "1e0000000100", "status=0 residue=0", "", "00/00"},
        {"allow removal", 'o', 0, "1e0000000000", "status=0 residue=0", "", "00/00"},
        {"prevent, changer form", 'o', 0, "1e0000000200", "status=1 residue=0", "", "05/24"},
        {"start stop unit, eject", 'o', 0, "1b0000000200", "status=0 residue=0", "", "00/00"},
        {"inquiry, vital product data", 'i', 255, "12010000ff00", "stall-in status=1 residue=255",
         "", "05/24"},
        {"inquiry, allocation 5", 'i', 5, "120000000500", "in=5 status=0 residue=0", "008002021f",
         "00/00"},
        {"unknown opcode", 'o', 0, "4a0000000000", "status=1 residue=0", "", "05/20"},
        {"unknown vendor subcommand", 'i', 8, "06c000000800", "stall-in status=1 residue=8", "",
         "05/20"},
        {"request sense, nothing to report", 'i', 252, "03000000fc00",
         "in=18 stall-in status=0 residue=234",
         "70"
         "000000000000"
         "0a"
         "00000000000000000000",
         "00/00"},
    };
    for (const Row& row : rows) {
        UsbFront usb;
        EXPECT_EQ(usb.Exchange(Wrapper(row.dir, row.length, row.cb)), row.expected) << row.name;
        if (!row.data.empty()) {
            EXPECT_EQ(DataOf(usb.last), FromHex(row.data)) << row.name;
        }
        EXPECT_EQ(usb.Sense(), row.sense) << row.name;
    }
}

TEST(UsbBulkOnly, SenseIsReportedOnceAndPerUnit) {
    UsbFront usb(Reader("EFG"));
    usb.Exchange(Wrapper('o', 0, kTestUnitReady, 2));
    EXPECT_EQ(usb.Sense(0), "00/00");
    EXPECT_EQ(usb.Sense(2), "02/3a");
    EXPECT_EQ(usb.Sense(2), "00/00");
    // A passed command clears what a failed one left.
    usb.Exchange(Wrapper('o', 0, kTestUnitReady, 1));
    usb.Exchange(Wrapper('o', 0, kStartStop, 1));
    EXPECT_EQ(usb.Sense(1), "00/00");
    // An unplug clears every unit.
    usb.Exchange(Wrapper('o', 0, kTestUnitReady, 1));
    usb.front.Unplugged();
    EXPECT_EQ(usb.Sense(1), "00/00");
}

// One fault of the bench file's reader keys: "failures=Name#n",
// "scsiStatus=Name#n:02", "hangs=Name", "answers=Name:33"; empty for none.
sim::ReaderConfig WithFault(const std::string& fault) {
    sim::ReaderConfig config = Reader();
    if (fault.empty()) return config;
    const std::string key = fault.substr(0, fault.find('='));
    const std::string value = fault.substr(key.size() + 1);
    const std::string name = value.substr(0, value.find(':'));
    const auto byte = [&] {
        return static_cast<std::uint8_t>(std::stoul(value.substr(name.size() + 1), nullptr, 16));
    };
    if (key == "failures") config.failures = {value};
    if (key == "hangs") config.hangs = {value};
    if (key == "scsiStatus") config.scsiStatus[name] = byte();
    if (key == "answers") config.answers[name] = {byte()};
    return config;
}

TEST(UsbBulkOnly, VendorCommandsAsOnTheBench) {
    struct Command {
        char dir;
        std::uint32_t length;
        std::string cb;
        std::uint8_t fill = 0x11;  // the data out
    };
    struct Row {
        const char* name;
        std::string fault;
        std::vector<Command> commands;
        std::string expected;  // the last command's exchange
        std::string data;      // hex of its data in, when checked
        std::string sense;     // key/asc reported after it
    };
    const Command jump{'i', 0, kIspJump};
    const Command status{'i', 8, kIspStatus};
    const Command identity{'i', 528, kReadIdentity};
    const Command write{'o', 1024, kIspWrite};
    const Command verify{'o', 1024, kIspVerify};
    const Command otherVerify{'o', 1024, kIspVerify, 0x22};
    const Command blockRead{'i', 512, "ff1304a55a3000000100"};
    // clang-format off
    const Row rows[] = {
        {"identity read", "", {identity}, "in=528 status=0 residue=0", "", "00/00"},
        {"identity refused in ISP mode", "", {jump, identity}, "stall-in status=1 residue=528", "", "05/20"},
        {"the jump reported", "", {jump, status}, "in=8 status=0 residue=0", "9c00000000000000", "00/00"},
        {"nothing to report", "", {status}, "in=8 status=0 residue=0", "0000000000000000", "00/00"},
        {"the write reported", "", {jump, status, write, status}, "in=8 status=0 residue=0", "a500000000000000", "00/00"},
        {"verify of the image", "", {jump, write, verify, status}, "in=8 status=0 residue=0", "5a00000000000000", "00/00"},
        {"verify of another image", "", {jump, write, otherVerify, status}, "in=8 status=0 residue=0", "3300000000000000", "00/00"},
        // A request that fails in transport: a failed command without sense.
        {"identity read failing", "failures=ReadIdentity#1", {identity}, "stall-in status=1 residue=528", "", "00/00"},
        {"only the first failing", "failures=ReadIdentity#1", {identity, identity}, "in=528 status=0 residue=0", "", "00/00"},
        {"a failed jump takes no effect", "failures=IspJump", {jump, identity}, "in=528 status=0 residue=0", "", "00/00"},
        {"a failed write", "failures=IspWrite#1", {jump, write}, "out=1024 | status=1 residue=0", "", "00/00"},
        {"a failed write takes no effect", "failures=IspWrite#1", {jump, status, write, status}, "in=8 status=0 residue=0", "0000000000000000", "00/00"},
        {"a hanging write fails", "hangs=IspWrite", {jump, write}, "out=1024 | status=1 residue=0", "", "00/00"},
        // Another status than GOOD: the controller aborted the command.
        {"status 02 on the jump", "scsiStatus=IspJump#1:02", {jump}, "status=1 residue=0", "", "0b/00"},
        {"status 02 takes no effect", "scsiStatus=IspJump#1:02", {jump, identity}, "in=528 status=0 residue=0", "", "00/00"},
        {"status 00 moves no data", "scsiStatus=ReadIdentity#1:00", {identity}, "stall-in status=0 residue=528", "", "00/00"},
        {"answers replace the status", "answers=IspVerify:33", {jump, write, verify, status}, "in=8 status=0 residue=0", "3300000000000000", "00/00"},
        {"identity block read", "", {blockRead}, "in=512 status=0 residue=0", "", "00/00"},
        {"identity block read in ISP mode", "", {jump, blockRead}, "stall-in status=1 residue=512", "", "05/20"},
        {"block read elsewhere", "", {{'i', 512, "ff1300000000000001000000"}}, "stall-in status=1 residue=512", "", "05/20"},
        {"device count without the driver", "", {{'i', 8, "ff0100000000"}}, "in=8 status=0 residue=0", "0100000000000000", "00/00"},
        {"byte count above the blocks", "", {jump, {'o', 1024, "06b100000104020000000000"}}, "stall-out status=1 residue=1024", "", "05/24"},
        // Only the declared bytes count: no block count, so no room for the payload.
        {"command block declared shorter", "", {jump, {'o', 1024, "06b10000e803"}}, "stall-out status=1 residue=1024", "", "05/24"},
    };
    // clang-format on
    for (const Row& row : rows) {
        UsbFront usb(WithFault(row.fault));
        std::string text;
        for (const Command& c : row.commands)
            text = usb.Exchange(Wrapper(c.dir, c.length, c.cb), -1, c.fill);
        EXPECT_EQ(text, row.expected) << row.name;
        if (!row.data.empty()) {
            EXPECT_EQ(DataOf(usb.last), FromHex(row.data)) << row.name;
        }
        EXPECT_EQ(usb.Sense(), row.sense) << row.name;
    }
}

TEST(UsbBulkOnly, UnplugEndsIspModeAndKeepsTheFirmware) {
    UsbFront usb;
    usb.Exchange(Wrapper('i', 0, kIspJump));
    usb.Exchange(Wrapper('o', 1024, kIspWrite), -1, 0x5C);
    usb.front.Unplugged();
    EXPECT_FALSE(usb.controller->ispMode());
    EXPECT_EQ(usb.controller->Firmware(), Bytes(1000, 0x5C));
    EXPECT_EQ(usb.Exchange(Wrapper('i', 528, kReadIdentity)), "in=528 status=0 residue=0");
    // The identity is the reader's: identifiers at 8 and 10, inquiry vendor at 176.
    const Bytes block = DataOf(usb.last);
    EXPECT_EQ(GetLe16(&block[8]), 0x058F);
    EXPECT_EQ(GetLe16(&block[10]), 0x6362);
    EXPECT_EQ(std::string(block.begin() + 176, block.begin() + 184), "Generic ");
}

}  // namespace
}  // namespace usbisp
