// The reader's bulk pipes, one transfer at a time: each step of the Bulk-Only
// front becomes a transfer on the pipe of its direction, a completed transfer
// goes back to the front, and a reset or an unplug takes back the one in
// flight. The endpoint files themselves are behind BulkPipes, so that the
// same rules run against FunctionFS and against a stand-in.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "emulator/usb_bulk_only.h"

namespace usbisp::reader {

enum class Pipe { In, Out };

// What the transfers need of the endpoints.
class BulkPipes {
  public:
    virtual ~BulkPipes() = default;
    // Starts the one transfer: `length` bytes of `buffer` written to bulk-in,
    // or at most `length` bytes read from bulk-out into it. False when it is
    // refused at once. Its completion comes to BulkTransfers::Completed.
    virtual bool Start(Pipe pipe, std::uint8_t* buffer, std::size_t length) = 0;
    // Takes back the transfer in flight; its completion still comes.
    virtual void Cancel() = 0;
    virtual void Halt(Pipe pipe) = 0;
};

class BulkTransfers {
  public:
    // Where the function stands; each value is one legal combination of "the
    // host may use the pipes" and "what is in flight".
    enum class State {
        Disabled,        // not enabled, nothing in flight
        Draining,        // not enabled, a taken-back transfer not yet completed
        Halted,          // enabled, both pipes halted until the host resets
        Stopped,         // enabled, a transfer was refused: nothing until the next enable
        ReadingCommand,  // enabled, waiting for a command block wrapper
        ReadingData,     // enabled, the data of a command coming
        WritingData,     // enabled, data in going to the host
        WritingStatus,   // enabled, a status wrapper going to the host
        Abandoned,       // enabled, a taken-back transfer not yet completed
    };

    // The buffer every transfer moves through holds a command block
    // wrapper's read and the largest data phase.
    static constexpr std::size_t kCommandRead = 512;
    static constexpr std::size_t kBufferSize = sim::kMaxDataPhase + kCommandRead;

    // `afterCommand`: after every status wrapper and after an unplug.
    // `trace`: one line per command, when set.
    BulkTransfers(sim::UsbBulkOnlyFront& front, BulkPipes& pipes,
                  std::function<void()> afterCommand,
                  std::function<void(const std::string&)> trace);

    State state() const { return state_; }

    // The function's life events from ep0.
    void Enabled();
    void Disabled();
    // The host lost the reader (or the reader the host).
    void Unplugged();
    // The host's Bulk-Only Mass Storage Reset was accepted.
    void ResetAccepted();

    // The transfer in flight completed: the bytes it moved, or a negative
    // errno.
    void Completed(long result);
    // While the halt is held, the pipes are halted again now and then: a host
    // may clear a halt without resetting first, and FunctionFS offers no way
    // to keep an endpoint halted through that.
    bool HaltHeld() const { return state_ == State::Halted; }
    void HaltAgain();

    // Completions that failed in a row while enabled.
    int failedInARow() const { return failures_; }

  private:
    void Start(State state, Pipe pipe, std::size_t length);
    void ReadCommand() { Start(State::ReadingCommand, Pipe::Out, kCommandRead); }
    void RunSteps();
    void Abandon();
    void Trace(const std::string& text);
    void TraceCommand(const std::vector<std::uint8_t>& transfer);

    sim::UsbBulkOnlyFront& front_;
    BulkPipes& pipes_;
    std::function<void()> afterCommand_;
    std::function<void(const std::string&)> trace_;
    State state_ = State::Disabled;
    int failures_ = 0;
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(kBufferSize);
    std::size_t started_ = 0;  // the length of the transfer in flight
    std::deque<sim::BulkStep> steps_;
    std::string traceLine_;
};

}  // namespace usbisp::reader
