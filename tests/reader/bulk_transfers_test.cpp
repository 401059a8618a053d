// The reader's bulk transfers against a stand-in for the endpoint files: the
// lengths a host chooses (every block count of the data-out commands, every
// kind of dCBWDataTransferLength) never reach past the transfer buffer and
// are refused as the device refuses them; the halt after a wrapper that is
// not one holds until the reset; a reset or a disable takes back the
// transfer in flight.
#include "reader/bulk_transfers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "platform/printf_text.h"

namespace usbisp {
namespace {

using Bytes = std::vector<std::uint8_t>;
using reader::BulkTransfers;
using reader::Pipe;

// The endpoint files as the host sees them: what the reader started and
// halted, in order, and the host's side of each transfer.
class HostSide : public reader::BulkPipes {
  public:
    bool Start(Pipe pipe, std::uint8_t* buffer, std::size_t length) override {
        // A transfer longer than the reader's buffer would move past it.
        EXPECT_LE(length, BulkTransfers::kBufferSize);
        log.push_back(Printf(pipe == Pipe::In ? "in=%zu" : "out=%zu", length));
        buffer_ = buffer;
        length_ = length;
        if (pipe == Pipe::In) written.assign(buffer, buffer + length);
        return !refuse;
    }
    void Cancel() override { log.push_back("cancel"); }
    void Halt(Pipe pipe) override { log.push_back(pipe == Pipe::In ? "halt-in" : "halt-out"); }

    // The host's data for the read in flight: at most what it asked for
    // lands in the buffer, as the kernel moves it. Returns the count.
    long Deliver(const Bytes& bytes) {
        const std::size_t n = std::min(bytes.size(), length_);
        std::copy_n(bytes.begin(), n, buffer_);
        return static_cast<long>(n);
    }
    std::string Take() {
        std::string text;
        for (const std::string& s : log) text += (text.empty() ? "" : " ") + s;
        log.clear();
        return text;
    }

    std::vector<std::string> log;
    Bytes written;  // the last transfer to the host
    bool refuse = false;

  private:
    std::uint8_t* buffer_ = nullptr;
    std::size_t length_ = 0;
};

Bytes Wrapper(std::uint32_t tag, std::uint32_t length, bool in, const Bytes& cb) {
    Bytes w(31, 0);
    PutLe32(&w[0], 0x43425355);
    PutLe32(&w[4], tag);
    PutLe32(&w[8], length);
    w[12] = in ? 0x80 : 0x00;
    w[14] = static_cast<std::uint8_t>(cb.size());
    std::copy(cb.begin(), cb.end(), w.begin() + 15);
    return w;
}

// IspWrite (0xB1, mode 0) or IspVerify (0xB2, mode 1) of `blocks` blocks
// whose payload fills them but for the last byte (at most 65535 bytes).
Bytes Transfer(bool verify, std::uint32_t blocks) {
    const std::uint32_t bytes = std::min<std::uint32_t>(blocks * 512, 65536) - (blocks ? 1 : 0);
    return {0x06,
            static_cast<std::uint8_t>(verify ? 0xB2 : 0xB1),
            verify ? std::uint8_t{1} : std::uint8_t{0},
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

const Bytes kIspJump = {0x06, 0xBF, 0, 0, 0x08, 0, 0, 0, 0, 0, 0, 0};
const Bytes kRequestSense = {0x03, 0, 0, 0, 18, 0};

struct Reader {
    Reader() {
        sim::ReaderConfig config;
        config.letters = "EF";
        config.firmware = Bytes(1000, 0x11);
        controller =
            std::make_shared<sim::ReaderController>(config, sim::ReaderEnvironment{false, 1});
        front = std::make_unique<sim::UsbBulkOnlyFront>(controller, 2);
        transfers = std::make_unique<BulkTransfers>(*front, host, nullptr, nullptr);
        transfers->Enabled();
    }
    // The host sends `bytes` on bulk-out, for the read in flight.
    std::string Send(const Bytes& bytes) {
        transfers->Completed(host.Deliver(bytes));
        return host.Take();
    }
    // The host takes what the reader wrote; the status wrapper as
    // "status=S residue=R".
    std::string Receive() {
        const Bytes w = host.written;
        transfers->Completed(static_cast<long>(w.size()));
        if (w.size() != 13) return "in=" + std::to_string(w.size()) + " " + host.Take();
        return Printf("status=%u residue=%u ", w[12], GetLe32(&w[8])) + host.Take();
    }
    // A whole command without data in or out.
    std::string Command(const Bytes& cb, std::uint8_t lun = 0) {
        Bytes w = Wrapper(7, 0, false, cb);
        w[13] = lun;
        const std::string sent = Send(w);
        return sent + " " + Receive();
    }

    HostSide host;
    std::shared_ptr<sim::ReaderController> controller;
    std::unique_ptr<sim::UsbBulkOnlyFront> front;
    std::unique_ptr<BulkTransfers> transfers;
};

TEST(BulkTransfers, EveryBlockCountOfTheDataOutCommands) {
    // dCBWDataTransferLength: the blocks exactly, one byte more, the
    // controller's whole buffer, and the most a wrapper can say.
    for (bool verify : {false, true}) {
        for (std::uint32_t blocks = 0; blocks <= 255; ++blocks) {
            for (std::uint32_t length : {blocks * 512, blocks * 512 + 1, 65536u, 0xFFFFFFFFu}) {
                if (length == 0) continue;  // no data phase: case 1 or 3
                const std::string name =
                    Printf("%s NB=%u length=%u", verify ? "IspVerify" : "IspWrite", blocks, length);
                Reader r;
                r.host.Take();
                r.Command(kIspJump);
                const std::string reply =
                    r.Send(Wrapper(9, length, false, Transfer(verify, blocks)));
                if (blocks == 0) {
                    // No data to take: carried out at once, the host's data
                    // refused.
                    EXPECT_EQ(reply, "halt-out in=13") << name;
                    ASSERT_EQ(r.host.written.size(), 13u) << name;
                    EXPECT_EQ(GetLe32(&r.host.written[8]), length) << name;
                    continue;
                }
                if (blocks > 128) {
                    // More than the controller's buffer: refused before any
                    // data, the data-out pipe halted, the whole length left
                    // over, and the reason in the sense data.
                    const std::string status = r.Receive();
                    EXPECT_EQ(reply + " " + status,
                              Printf("halt-out in=13 status=1 residue=%u out=512", length))
                        << name;
                    r.Send(Wrapper(10, 18, true, kRequestSense));
                    ASSERT_EQ(r.host.written.size(), 18u) << name;
                    EXPECT_EQ(r.host.written[2], 0x05) << name;   // ILLEGAL REQUEST
                    EXPECT_EQ(r.host.written[12], 0x24) << name;  // INVALID FIELD IN CDB
                    continue;
                }
                const std::uint32_t taken = blocks * 512;
                EXPECT_EQ(reply, Printf("out=%u", taken)) << name;
                // The host sends all it declared; the reader takes the blocks
                // and refuses the rest.
                const std::string data = r.Send(Bytes(taken, 0x5A));
                const std::string status = r.Receive();
                EXPECT_EQ(data + " " + status,
                          length > taken
                              ? Printf("halt-out in=13 status=0 residue=%u out=512", length - taken)
                              : std::string("in=13 status=0 residue=0 out=512"))
                    << name;
            }
        }
    }
}

TEST(BulkTransfers, HostLengthsOfOtherCommandsStayInTheBuffer) {
    struct Row {
        const char* name;
        std::uint32_t length;
        bool in;
        Bytes cb;
        std::string expected;
    };
    const Bytes inquiry = {0x12, 0, 0, 0, 0xFF, 0};
    const Bytes blockRead = {0xFF, 0x13, 0x04, 0xA5, 0x5A, 0x30, 0, 0, 0xFF, 0, 0, 0};
    const Row rows[] = {
        {"inquiry, most a wrapper says", 0xFFFFFFFF, true, inquiry, "in=36"},
        {"inquiry as data out, most a wrapper says", 0xFFFFFFFF, false, inquiry, "halt-out in=13"},
        {"255 blocks of identity, as much asked", 255 * 512, true, blockRead, "in=512"},
        {"255 blocks of identity, most a wrapper says", 0xFFFFFFFF, true, blockRead, "in=512"},
        {"unknown command, most a wrapper says",
         0xFFFFFFFF,
         false,
         {0xC5, 0, 0, 0, 0, 0},
         "halt-out in=13"},
    };
    for (const Row& row : rows) {
        Reader r;
        r.host.Take();
        EXPECT_EQ(r.Send(Wrapper(3, row.length, row.in, row.cb)), row.expected) << row.name;
    }
}

TEST(BulkTransfers, TheHaltHoldsUntilTheReset) {
    Reader r;
    EXPECT_EQ(r.host.Take(), "out=512");
    // A wrapper one byte short: both pipes halted, and nothing read.
    Bytes shortWrapper = Wrapper(1, 0, false, kIspJump);
    shortWrapper.pop_back();
    EXPECT_EQ(r.Send(shortWrapper), "halt-in halt-out");
    EXPECT_TRUE(r.transfers->HaltHeld());
    // A host that cleared the halts without the reset finds them again.
    for (int i = 0; i < 3; ++i) {
        r.transfers->HaltAgain();
        EXPECT_EQ(r.host.Take(), "halt-in halt-out");
    }
    // Get Max LUN does not end it; the reset does, and a command is read.
    EXPECT_TRUE(r.front->Control({0xA1, 0xFE, 0, 0, 1}).has_value());
    r.transfers->HaltAgain();
    EXPECT_EQ(r.host.Take(), "halt-in halt-out");
    EXPECT_TRUE(r.front->Control({0x21, 0xFF, 0, 0, 0}).has_value());
    r.transfers->ResetAccepted();
    EXPECT_EQ(r.host.Take(), "out=512");
    r.transfers->HaltAgain();
    EXPECT_EQ(r.host.Take(), "");
    EXPECT_EQ(r.Command({0x1B, 0, 0, 0, 0, 0}), "in=13 status=0 residue=0 out=512");
}

TEST(BulkTransfers, TransfersInFlightAreTakenBack) {
    struct Row {
        const char* name;
        std::function<void(Reader&)> event;
        std::string log;  // what the event did
        BulkTransfers::State after;
        std::string completion;  // what the completion of the taken-back transfer did
        BulkTransfers::State settled;
    };
    using State = BulkTransfers::State;
    const Row rows[] = {
        {"reset", [](Reader& r) { r.transfers->ResetAccepted(); }, "cancel", State::Abandoned,
         "out=512", State::ReadingCommand},
        {"disable", [](Reader& r) { r.transfers->Disabled(); }, "cancel", State::Draining, "",
         State::Disabled},
        {"disable, enable",
         [](Reader& r) {
             r.transfers->Disabled();
             r.transfers->Enabled();
         },
         "cancel", State::Abandoned, "out=512", State::ReadingCommand},
        {"enable again", [](Reader& r) { r.transfers->Enabled(); }, "cancel", State::Abandoned,
         "out=512", State::ReadingCommand},
    };
    for (const Row& row : rows) {
        Reader r;
        r.Command(kIspJump);
        // In the middle of a data phase out.
        EXPECT_EQ(r.Send(Wrapper(5, 1024, false, Transfer(false, 2))), "out=1024") << row.name;
        row.event(r);
        EXPECT_EQ(r.host.Take(), row.log) << row.name;
        EXPECT_EQ(r.transfers->state(), row.after) << row.name;
        r.transfers->Completed(-125);  // ECANCELED
        EXPECT_EQ(r.host.Take(), row.completion) << row.name;
        EXPECT_EQ(r.transfers->state(), row.settled) << row.name;
        EXPECT_EQ(r.controller->RequestCount(sim::Operation::IspWrite), 0) << row.name;
        EXPECT_EQ(r.transfers->failedInARow(), 0) << row.name;
    }
}

TEST(BulkTransfers, ATransferRefusedAtOnceStopsUntilTheNextEnable) {
    Reader r;
    r.host.Take();
    r.host.refuse = true;
    r.Send(Wrapper(1, 36, true, {0x12, 0, 0, 0, 36, 0}));
    EXPECT_EQ(r.transfers->state(), BulkTransfers::State::Stopped);
    r.host.refuse = false;
    r.transfers->Enabled();
    EXPECT_EQ(r.host.Take(), "out=512");
}

}  // namespace
}  // namespace usbisp
