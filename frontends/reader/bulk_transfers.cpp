#include "reader/bulk_transfers.h"

#include <algorithm>

#include "platform/byte_order.h"
#include "platform/printf_text.h"

namespace usbisp::reader {

namespace {

using sim::BulkStep;

std::string Hex(const std::uint8_t* bytes, std::size_t n) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) text += Printf("%02x", bytes[i]);
    return text;
}

}  // namespace

BulkTransfers::BulkTransfers(sim::UsbBulkOnlyFront& front, BulkPipes& pipes,
                             std::function<void()> afterCommand,
                             std::function<void(const std::string&)> trace)
    : front_(front),
      pipes_(pipes),
      afterCommand_(std::move(afterCommand)),
      trace_(std::move(trace)) {}

void BulkTransfers::Trace(const std::string& text) {
    if (trace_) traceLine_ += text;
}

void BulkTransfers::TraceCommand(const std::vector<std::uint8_t>& transfer) {
    if (!trace_) return;
    const std::optional<sim::CommandWrapper> w = sim::DecodeCommandWrapper(transfer);
    if (!w) {
        traceLine_ = "transfer of " + std::to_string(transfer.size()) + " bytes";
        return;
    }
    traceLine_ =
        Printf("lun=%d len=%u dir=%s cb=", w->lun, w->dataLength, w->dataIn() ? "in" : "out") +
        Hex(w->block.data(), std::min<std::size_t>(w->blockLength, w->block.size()));
}

void BulkTransfers::Start(State state, Pipe pipe, std::size_t length) {
    state_ = state;
    started_ = length;
    if (pipes_.Start(pipe, buffer_.data(), length)) return;
    // Refused at once (the function was disabled meanwhile): the command is
    // lost, and the next starts at the next enable.
    state_ = State::Stopped;
    steps_.clear();
    front_.Reset();
}

void BulkTransfers::RunSteps() {
    while (!steps_.empty()) {
        BulkStep step = std::move(steps_.front());
        steps_.pop_front();
        switch (step.kind) {
            case BulkStep::Kind::SendData:
                Trace(" in=" + std::to_string(step.bytes.size()));
                // The front moves no more than kMaxDataPhase; the copy is
                // bounded all the same.
                step.bytes.resize(std::min(step.bytes.size(), buffer_.size()));
                std::copy(step.bytes.begin(), step.bytes.end(), buffer_.begin());
                Start(State::WritingData, Pipe::In, step.bytes.size());
                return;
            case BulkStep::Kind::ReceiveData:
                Trace(" out=" + std::to_string(step.length));
                Start(State::ReadingData, Pipe::Out,
                      std::min<std::size_t>(step.length, buffer_.size()));
                return;
            case BulkStep::Kind::StallIn:
                Trace(" stall-in");
                pipes_.Halt(Pipe::In);
                break;
            case BulkStep::Kind::StallOut:
                Trace(" stall-out");
                pipes_.Halt(Pipe::Out);
                break;
            case BulkStep::Kind::SendStatus:
                Trace(Printf(" status=%d residue=%u", step.bytes[12], GetLe32(&step.bytes[8])));
                if (trace_ && !traceLine_.empty()) trace_(traceLine_);
                traceLine_.clear();
                std::copy(step.bytes.begin(), step.bytes.end(), buffer_.begin());
                Start(State::WritingStatus, Pipe::In, step.bytes.size());
                return;
        }
    }
    // Nothing more to move. A wrapper that was not one leaves both pipes
    // halted, and nothing is read until the host resets: what it sends
    // meanwhile stalls. Otherwise the next command.
    if (front_.HaltHeld()) {
        state_ = State::Halted;
        return;
    }
    ReadCommand();
}

void BulkTransfers::Abandon() {
    steps_.clear();
    traceLine_.clear();
    switch (state_) {
        case State::ReadingCommand:
        case State::ReadingData:
        case State::WritingData:
        case State::WritingStatus:
            pipes_.Cancel();
            state_ = State::Abandoned;
            break;
        default:
            break;
    }
}

void BulkTransfers::Enabled() {
    front_.Reset();
    switch (state_) {
        case State::Draining:
            // The next command is read when the taken-back transfer is done.
            state_ = State::Abandoned;
            return;
        case State::Abandoned:
            return;
        default:
            Abandon();
            if (state_ != State::Abandoned) ReadCommand();
            return;
    }
}

void BulkTransfers::Disabled() {
    Abandon();
    state_ =
        state_ == State::Abandoned || state_ == State::Draining ? State::Draining : State::Disabled;
    front_.Reset();
}

void BulkTransfers::Unplugged() {
    front_.Unplugged();
    if (afterCommand_) afterCommand_();
}

void BulkTransfers::ResetAccepted() {
    Abandon();
    // The halt held for the reset ends with it: the host clears both pipes
    // next and sends a command.
    if (state_ == State::Halted) ReadCommand();
}

void BulkTransfers::HaltAgain() {
    if (state_ != State::Halted) return;
    pipes_.Halt(Pipe::In);
    pipes_.Halt(Pipe::Out);
}

void BulkTransfers::Completed(long result) {
    switch (state_) {
        case State::Disabled:
        case State::Halted:
        case State::Stopped:
            return;  // nothing was in flight
        case State::Draining:
            state_ = State::Disabled;
            return;
        case State::Abandoned:
            ReadCommand();
            return;
        default:
            break;
    }
    if (result < 0) {
        // The transfer failed (a reset of the bus took it back): the
        // command is lost; the host starts again with a new one.
        steps_.clear();
        traceLine_.clear();
        front_.Reset();
        ++failures_;
        ReadCommand();
        return;
    }
    failures_ = 0;
    // No more than the transfer asked for is taken, whatever the count says.
    const auto moved = static_cast<std::ptrdiff_t>(std::min<std::size_t>(
        static_cast<std::size_t>(result), std::min(started_, buffer_.size())));
    switch (state_) {
        case State::ReadingCommand:
        case State::ReadingData: {
            const std::vector<std::uint8_t> transfer(buffer_.begin(), buffer_.begin() + moved);
            if (state_ == State::ReadingCommand) TraceCommand(transfer);
            for (auto& step : front_.Received(transfer)) steps_.push_back(std::move(step));
            RunSteps();
            return;
        }
        case State::WritingData:
            RunSteps();
            return;
        case State::WritingStatus:
            if (afterCommand_) afterCommand_();
            ReadCommand();
            return;
        default:
            return;
    }
}

}  // namespace usbisp::reader
