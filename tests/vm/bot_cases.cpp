#include "bot_cases.h"

#include <unistd.h>

#include <cerrno>

namespace bot {

namespace {

const Bytes kTestUnitReady = {0x00, 0, 0, 0, 0, 0};
// The reader's vendor command that reads its identity block.
const Bytes kReadIdentity = {0x06, 0x05, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0};

// AfterShort: data in ended by a short packet; the device halts bulk-in
// after it, but on dummy_hcd the host's next read may come first and meet
// the status (from the kernel's own function as well): either is taken.
enum class Halt { None, In, Out, AfterShort };

const char* HaltName(Halt h) {
    return h == Halt::In ? "bulk-in halted" : h == Halt::Out ? "bulk-out halted" : "no halt";
}

// The device answered a phase error, or no status at all: a host resets it.
void RecoverIfNeeded(const Status& s) {
    if (!s.valid || s.status == 2) ResetRecovery();
}

}  // namespace

Bytes Target::DataOut(std::uint32_t blocks) const {
    if (reader) {
        const std::uint32_t bytes = blocks * 512;
        return {0x06,
                0xB2,
                0x01,
                0x00,
                static_cast<std::uint8_t>(bytes & 0xFF),
                static_cast<std::uint8_t>(bytes >> 8),
                static_cast<std::uint8_t>(blocks),
                0,
                0,
                0,
                0,
                0};
    }
    // Block 100: between the partition table and the partition.
    return {0x2A, 0, 0, 0, 0, 100, 0, 0, static_cast<std::uint8_t>(blocks), 0};
}

void ThirteenCases(const Target& target) {
    enum class Cmd { TestUnitReady, Inquiry, Out1, Out2, ReadIdentity };
    struct Row {
        const char* name;
        char dir;  // 'n' no data, 'i' in, 'o' out
        std::uint32_t length;
        Cmd command;
        std::uint32_t dataIn;  // bytes the host gets
        std::uint8_t status;   // the reader's; 2 for any device
        std::uint32_t residue;
        Halt halt;  // the reader's halt on the way
    };
    // TEST UNIT READY fails on the reader (it holds no card), IspVerify
    // after its data (no ISP mode); any device may pass or fail them, but
    // answers a phase error where the two sides disagree.
    const Row rows[] = {
        {"1 Hn=Dn", 'n', 0, Cmd::TestUnitReady, 0, 1, 0, Halt::None},
        {"2 Hn<Di", 'n', 0, Cmd::Inquiry, 0, 2, 0, Halt::None},
        {"3 Hn<Do", 'n', 0, Cmd::Out1, 0, 2, 0, Halt::None},
        {"4 Hi>Dn", 'i', 18, Cmd::TestUnitReady, 0, 1, 18, Halt::In},
        {"5 Hi>Di", 'i', 96, Cmd::Inquiry, 36, 0, 60, Halt::AfterShort},
        {"6 Hi=Di", 'i', 36, Cmd::Inquiry, 36, 0, 0, Halt::None},
        {"7 Hi<Di", 'i', 20, Cmd::Inquiry, 20, 2, 0, Halt::None},
        {"8 Hi<>Do", 'i', 1024, Cmd::Out2, 0, 2, 1024, Halt::In},
        {"9 Ho>Dn", 'o', 512, Cmd::TestUnitReady, 0, 1, 512, Halt::Out},
        {"10 Ho<>Di", 'o', 36, Cmd::Inquiry, 0, 2, 36, Halt::Out},
        {"11 Ho>Do", 'o', 1024, Cmd::Out1, 0, 1, 512, Halt::Out},
        {"12 Ho=Do", 'o', 512, Cmd::Out1, 0, 1, 0, Halt::None},
        {"13 Ho<Do", 'o', 512, Cmd::Out2, 0, 2, 0, Halt::None},
        // The reader's own identity, 528 bytes: its last packet is short.
        {"5 Hi>Di (ReadIdentity)", 'i', 1024, Cmd::ReadIdentity, 528, 0, 496, Halt::AfterShort},
        {"6 Hi=Di (ReadIdentity)", 'i', 528, Cmd::ReadIdentity, 528, 0, 0, Halt::None},
        {"7 Hi<Di (ReadIdentity)", 'i', 512, Cmd::ReadIdentity, 512, 2, 0, Halt::None},
    };
    for (const Row& row : rows) {
        if (row.command == Cmd::ReadIdentity && !target.reader) {
            Skip(row.name, "ReadIdentity is the reader's own command");
            continue;
        }
        const Bytes cb = row.command == Cmd::ReadIdentity    ? kReadIdentity
                         : row.command == Cmd::TestUnitReady ? kTestUnitReady
                         : row.command == Cmd::Inquiry       ? kInquiry
                         : row.command == Cmd::Out1          ? target.DataOut(1)
                                                             : target.DataOut(2);
        const std::uint32_t tag = nextTag;
        Bytes data;
        Status s;
        bool outHalted = false;
        if (row.dir == 'o') {
            s = CommandOut(0, row.length, cb, row.length, outHalted);
        } else {
            s = CommandIn(0, row.length, cb, &data);
        }
        const Halt halt = outHalted ? Halt::Out : s.halted ? Halt::In : Halt::None;
        const bool statusRight =
            target.reader ? s.status == row.status : (s.status == 2) == (row.status == 2);
        // Only the reader's halts are its own choice to check: a device may
        // instead take and drop data out it does not want.
        const bool haltRight = !target.reader || halt == row.halt ||
                               (row.halt == Halt::AfterShort && halt != Halt::Out);
        const bool answered = s.valid && s.tag == tag && statusRight && s.residue == row.residue &&
                              data.size() == row.dataIn && haltRight;
        RecoverIfNeeded(s);
        std::string name = row.name;
        if (row.command == Cmd::Out1 || row.command == Cmd::Out2)
            name += " (" + target.DataOutName() + ")";
        Status shown = s;
        shown.halted = false;  // said once, by HaltName
        const std::string seen = Describe(shown) + ", " + HaltName(halt) + ", " +
                                 std::to_string(data.size()) + " bytes in";
        Check(answered && Alive(), name, seen, seen);
    }
}

void InvalidWrappers() {
    struct Row {
        const char* name;
        Bytes wrapper;
    };
    Bytes shortWrapper = Wrapper(0, 36, true, 0, kInquiry);
    shortWrapper.pop_back();
    Bytes longWrapper = Wrapper(0, 36, true, 0, kInquiry);
    longWrapper.push_back(0);
    Bytes badSignature = Wrapper(0, 36, true, 0, kInquiry);
    badSignature[3] = 0x44;
    const Row rows[] = {
        {"invalid wrapper: 30 bytes", shortWrapper},
        {"invalid wrapper: 32 bytes", longWrapper},
        {"invalid wrapper: signature", badSignature},
    };
    for (Row row : rows) {
        Bytes csw(13);
        const bool sent = Bulk(kOut, row.wrapper.data(), row.wrapper.size()) ==
                          static_cast<int>(row.wrapper.size());
        const int n = Bulk(kIn, csw.data(), csw.size());
        Check(sent && n == -EPIPE && ResetRecovery() && Alive(), row.name,
              "bulk-in answered " + std::to_string(n));
    }
}

void NotMeaningfulWrappers(const Target& target) {
    struct Row {
        const char* name;
        Bytes wrapper;
    };
    Bytes reservedFlag = Wrapper(0, 36, true, 0, kInquiry);
    reservedFlag[12] |= 0x40;
    Bytes highLun = Wrapper(0, 36, true, 0x10, kInquiry);
    Bytes emptyBlock = Wrapper(0, 36, true, 0, kInquiry);
    emptyBlock[14] = 0;
    Bytes longBlock = Wrapper(0, 36, true, 0, kInquiry);
    longBlock[14] = 17;
    const Row rows[] = {
        {"not meaningful: reserved flag bit", reservedFlag},
        {"not meaningful: unit 16", highLun},
        {"not meaningful: command block of 0 bytes", emptyBlock},
        {"not meaningful: command block of 17 bytes", longBlock},
    };
    for (Row row : rows) {
        const std::uint32_t tag = nextTag++;
        for (int i = 0; i < 4; ++i) row.wrapper[4 + i] = static_cast<std::uint8_t>(tag >> (8 * i));
        Bytes data(36);
        const bool sent = Bulk(kOut, row.wrapper.data(), row.wrapper.size()) == 31;
        const int n = Bulk(kIn, data.data(), data.size());
        const Status s = ReadStatus(500);
        // No data; a phase error (the reader's answer), or no status at all
        // with the pipes halted, which a host also ends with the reset.
        const bool phaseError = s.valid && s.tag == tag && s.status == 2 && s.residue == 36;
        const bool ok = sent && n <= 0 && (phaseError || (!target.reader && !s.valid));
        const std::string seen = Describe(s);
        ResetRecovery();
        Check(ok && Alive(), row.name, seen, phaseError ? "phase error, no data" : seen);
    }
}

void Tags() {
    bool ok = true;
    std::string why;
    for (std::uint32_t tag : {0u, 0xFFFFFFFFu, 0x80000000u, 0x12345678u, 0x12345678u}) {
        nextTag = tag;
        const Status s = CommandIn(0, 36, kInquiry);
        if (!s.valid || s.tag != tag)
            ok = false, why += " " + std::to_string(tag) + ": " + Describe(s);
    }
    nextTag = 0x1000;
    Check(ok, "tags: the status carries the wrapper's tag (0, 0xFFFFFFFF, 0x80000000, one twice)",
          why);
}

}  // namespace bot
