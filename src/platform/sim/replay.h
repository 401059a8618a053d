// A recording replayed: the devices a recorded session opened answer each
// open, request and close with what the recorded machine answered. In the
// recorded order by default: each call must be the next call the recording
// holds on its devices. With "order": "any" a call is matched by what it asks
// (the device, the control code and the input bytes), the first unused match
// answering, and the last one again once all are used (a status read asked
// more often than it was recorded).
//
// A call the recording has no answer for ends the run: the replay throws
// ReplayMismatch, naming the call and the nearest recorded one, and answers
// every call after it with a failure (the closes the run makes on its way
// out). A close is never refused.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/recording.h"
#include "platform/sim/sim_device.h"

namespace usbisp::sim {

class ReplayMismatch : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class Replay {
  public:
    // `name` is the recording's file, for the errors.
    Replay(std::shared_ptr<const rec::Recording> recording, std::string name, bool anyOrder);

    // The devices the recording opens, as the program named them.
    std::vector<std::string> DevicePaths() const;

    // The recorded answer of the call `asked` (its call, path and request
    // filled in); throws ReplayMismatch when there is none. Nothing once the
    // replay has ended, and for a close it has no answer for (a close never
    // throws).
    const rec::Event* Answer(const rec::Event& asked);

  private:
    bool Matches(const rec::Event& recorded, const rec::Event& asked) const;
    [[noreturn]] void Mismatch(const rec::Event& asked);
    std::string Nearest(const rec::Event& asked) const;

    std::shared_ptr<const rec::Recording> recording_;
    std::string name_;
    bool anyOrder_;
    std::vector<std::size_t> deviceEvents_;  // the opens, requests and closes, in order
    std::vector<bool> used_;                 // by place in deviceEvents_
    std::size_t next_ = 0;                   // the next one in recorded order
    std::size_t asked_ = 0;                  // calls asked so far
    bool failed_ = false;
};

// One device of a recording, as the bench's hardware registers it.
class RecordedDevice : public SimDevice {
  public:
    RecordedDevice(std::shared_ptr<Replay> replay, std::string path);

    std::optional<std::uint32_t> RecordedOpen(std::uint32_t access, std::uint32_t share,
                                              std::uint32_t disposition,
                                              std::uint32_t flags) override;
    IoctlOutcome Ioctl(std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                       std::uint32_t outSize, std::uint32_t* bytesReturned) override;
    void Closed() override;

  private:
    std::shared_ptr<Replay> replay_;
    std::string path_;
};

}  // namespace usbisp::sim
