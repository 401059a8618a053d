// The bulk endpoint files of a mounted FunctionFS, moved through the kernel's
// asynchronous I/O with one transfer in flight, its completion announced on
// an eventfd; and the ending signals, taken through a signalfd.
#pragma once

#include <linux/aio_abi.h>
#include <signal.h>

#include <functional>
#include <string>

#include "reader/bulk_transfers.h"

namespace usbisp::reader {

class AioPipes : public BulkPipes {
  public:
    AioPipes() = default;
    ~AioPipes() override;
    AioPipes(const AioPipes&) = delete;
    AioPipes& operator=(const AioPipes&) = delete;

    // Opens ep1 (bulk-in) and ep2 (bulk-out) of `dir`, which exist once the
    // descriptors are written, and sets up the completions. On failure
    // `error` names the step and the system's reason.
    bool Open(const std::string& dir, std::string& error);
    // Readable when a transfer has completed.
    int completions() const { return events_; }
    // Hands each completed transfer's result to `done`.
    void Reap(const std::function<void(long)>& done);

    bool Start(Pipe pipe, std::uint8_t* buffer, std::size_t length) override;
    void Cancel() override;
    void Halt(Pipe pipe) override;

  private:
    int in_ = -1, out_ = -1, events_ = -1;
    aio_context_t context_ = 0;
    iocb block_{};
};

// SIGTERM and SIGINT held and read through a signalfd while the service
// runs; the signal mask as it was comes back at the end.
class EndingSignals {
  public:
    EndingSignals() = default;
    ~EndingSignals();
    EndingSignals(const EndingSignals&) = delete;
    EndingSignals& operator=(const EndingSignals&) = delete;

    bool Open(std::string& error);
    // Readable when one of them came.
    int fd() const { return fd_; }
    // Takes the one that came, so that it does not end the process when the
    // mask comes back.
    void Take();

  private:
    int fd_ = -1;
    bool held_ = false;
    sigset_t before_{};
};

}  // namespace usbisp::reader
