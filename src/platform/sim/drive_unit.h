// The drives the pass-through reaches ("\\.\E:"): each unit of a card reader,
// which hands the controller the commands of its requests, and plain fixed
// disks. Both check every request record as strictly as Windows and the
// storage drivers do and refuse a malformed one with a reason.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "emulator/controller.h"
#include "emulator/operations.h"
#include "platform/sim/bench_config.h"
#include "platform/sim/sim_device.h"

namespace usbisp::sim {

// One unit (drive letter) of a reader.
class ReaderUnit : public SimDevice {
  public:
    ReaderUnit(std::shared_ptr<ReaderController> controller, Refusals refusals)
        : controller_(std::move(controller)), refusals_(refusals) {}
    bool Open() override { return controller_->OpenUnit(); }
    IoctlOutcome Ioctl(std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                       std::uint32_t outSize, std::uint32_t* bytesReturned) override;

  private:
    std::shared_ptr<ReaderController> controller_;
    Refusals refusals_;
};

// A fixed disk that is not a card reader: it answers INQUIRY as a disk and
// refuses everything else, the vendor commands included.
class PlainDisk : public SimDevice {
  public:
    explicit PlainDisk(Refusals refusals) : refusals_(refusals) {}
    IoctlOutcome Ioctl(std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                       std::uint32_t outSize, std::uint32_t* bytesReturned) override;

  private:
    Refusals refusals_;
};

}  // namespace usbisp::sim
