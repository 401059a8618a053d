// The virtual reader's USB face: whatever a host does on the control pipe and
// the bulk pipes, in any order and with any lengths, goes through the
// Bulk-Only front, the reader's units and controller, and the server's bulk
// transfers, with a stand-in for the endpoint files that moves data as the
// kernel does (never more than a transfer asked for). No transfer may reach
// past the transfer buffer, and the state stays one of the legal ones.
//
// The input is a list of host actions, each a first byte and its operands:
//   0  a command block wrapper: tag 4, dCBWDataTransferLength 4, flags,
//      LUN, command block length, command block 16 (31 bytes in all)
//   1  bytes for the read in flight: length 2 (low first) or, with the top
//      bit of the first operand, 4, then the fill byte
//   2  the write in flight taken whole      3  part of it: count 2
//   4  a transfer that fails: errno 1        5  a setup packet: 8 bytes
//   6  enable   7  disable   8  unbind   9  the halt set again
//   10 a completion whatever is in flight: result 4 (signed)
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "emulator/controller.h"
#include "emulator/usb_bulk_only.h"
#include "reader/bulk_transfers.h"

namespace {

using namespace usbisp;
using reader::BulkTransfers;
using reader::Pipe;

class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint32_t Word(int bytes) {
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) value |= static_cast<std::uint32_t>(Byte()) << (8 * i);
        return value;
    }
    std::vector<std::uint8_t> Bytes(std::size_t n) {
        std::vector<std::uint8_t> bytes(n, 0);
        for (auto& b : bytes) b = Byte();
        return bytes;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// The endpoint files: one transfer in flight at most, its buffer and length
// as the server gave them.
class Endpoints : public reader::BulkPipes {
  public:
    bool Start(Pipe pipe, std::uint8_t* buffer, std::size_t length) override {
        if (inFlight_) __builtin_trap();  // one transfer at a time
        // Every transfer moves through the one buffer the first one named.
        if (bufferStart_ == nullptr) bufferStart_ = buffer;
        if (buffer < bufferStart_ || length > BulkTransfers::kBufferSize ||
            buffer + length > bufferStart_ + BulkTransfers::kBufferSize)
            __builtin_trap();
        // Touch every byte the kernel may touch, so that the sanitizer
        // sees a transfer past the buffer.
        if (pipe == Pipe::In) {
            volatile std::uint8_t sum = 0;
            for (std::size_t i = 0; i < length; ++i) sum = sum + buffer[i];
        }
        pipe_ = pipe;
        buffer_ = buffer;
        length_ = length;
        inFlight_ = true;
        return true;
    }
    void Cancel() override {}
    void Halt(Pipe) override {}

    bool reading() const { return inFlight_ && pipe_ == Pipe::Out; }
    bool writing() const { return inFlight_ && pipe_ == Pipe::In; }
    std::size_t length() const { return length_; }
    // The host's bytes land in the buffer, at most as many as were asked.
    long Deliver(const std::vector<std::uint8_t>& bytes) {
        const std::size_t n = std::min(bytes.size(), length_);
        std::copy_n(bytes.begin(), n, buffer_);
        return Done(static_cast<long>(n));
    }
    long Done(long result) {
        inFlight_ = false;
        return result;
    }

  private:
    const std::uint8_t* bufferStart_ = nullptr;
    Pipe pipe_ = Pipe::Out;
    std::uint8_t* buffer_ = nullptr;
    std::size_t length_ = 0;
    bool inFlight_ = false;
};

sim::ReaderConfig Config() {
    sim::ReaderConfig config;
    config.letters = "EF";
    config.firmware = std::vector<std::uint8_t>(1000, 0x11);
    config.memoryStick = true;
    config.memoryStickMain = "verM1.3a";
    config.memoryStickLoader = "ver4K1.0";
    return config;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const sim::ReaderConfig config = Config();
    auto controller =
        std::make_shared<sim::ReaderController>(config, sim::ReaderEnvironment{false, 1});
    sim::UsbBulkOnlyFront front(controller, config.letters.size());
    Endpoints endpoints;
    std::size_t lines = 0;
    BulkTransfers transfers(
        front, endpoints, [] {}, [&](const std::string& line) { lines += line.size(); });
    transfers.Enabled();
    Input in(data, size);
    auto complete = [&](long result) {
        const bool wasInFlight = endpoints.reading() || endpoints.writing();
        endpoints.Done(result);
        if (wasInFlight) transfers.Completed(result);
    };
    while (!in.empty()) {
        switch (in.Byte() % 11) {
            case 0: {
                std::vector<std::uint8_t> w = in.Bytes(31);
                w[0] = 0x55, w[1] = 0x53, w[2] = 0x42, w[3] = 0x43;  // "USBC"
                if (endpoints.reading()) transfers.Completed(endpoints.Deliver(w));
                break;
            }
            case 1: {
                std::uint32_t length = in.Word(2);
                if (length & 0x8000) length = in.Word(4) % (1u << 20);
                const std::uint8_t fill = in.Byte();
                if (endpoints.reading())
                    transfers.Completed(endpoints.Deliver(std::vector<std::uint8_t>(length, fill)));
                break;
            }
            case 2:
                if (endpoints.writing()) complete(static_cast<long>(endpoints.length()));
                break;
            case 3: {
                const long part = in.Word(2);
                if (endpoints.writing()) complete(std::min<long>(part, endpoints.length()));
                break;
            }
            case 4: {
                const long error = -static_cast<long>(in.Byte() % 130);
                if (endpoints.reading() || endpoints.writing()) complete(error);
                break;
            }
            case 5: {
                const std::vector<std::uint8_t> s = in.Bytes(8);
                sim::UsbSetup setup;
                setup.requestType = s[0];
                setup.request = s[1];
                setup.value = static_cast<std::uint16_t>(s[2] | s[3] << 8);
                setup.index = static_cast<std::uint16_t>(s[4] | s[5] << 8);
                setup.length = static_cast<std::uint16_t>(s[6] | s[7] << 8);
                const sim::ControlReply reply = front.Control(setup);
                if (reply && reply->size() > setup.length) __builtin_trap();
                if (reply && setup.requestType == sim::kResetRequestType &&
                    setup.request == sim::kResetRequest)
                    transfers.ResetAccepted();
                break;
            }
            case 6:
                transfers.Enabled();
                break;
            case 7:
                transfers.Disabled();
                break;
            case 8:
                transfers.Disabled();
                transfers.Unplugged();
                break;
            case 9:
                transfers.HaltAgain();
                break;
            case 10: {
                // A completion with any count: more than was asked must not
                // be taken as moved.
                const auto result = static_cast<std::int32_t>(in.Word(4));
                complete(result);
                break;
            }
        }
    }
    return 0;
}
