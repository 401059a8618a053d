// The rows of the table whose transports this build does not reach yet
// (ASPI), and a platform outside the table: the driver does
// not load, discovery finds the device not ready, no sequence runs and there
// is nothing to close.
#pragma once

#include "access/access_path.h"

namespace usbisp {

class UnbuiltAccess : public AccessPath {
  public:
    explicit UnbuiltAccess(AccessPathId id) : id_(id) {}

    AccessPathId id() const override { return id_; }
    std::uint8_t Open() override { return 1; }
    std::uint8_t Scan() override { return 1; }
    std::unique_ptr<IspPath> SequencePath() override { return std::make_unique<NoSequence>(); }
    void Close() override {}

  private:
    AccessPathId id_;
};

}  // namespace usbisp
