// A platform outside the table of access paths: no driver loads, discovery
// finds the device not ready, no sequence runs and there is nothing to close.
// (The handlers refuse such a platform before they get here.)
#pragma once

#include "access/access_path.h"

namespace usbisp {

class NoAccessPath : public AccessPath {
  public:
    AccessPathId id() const override { return AccessPathId::None; }
    std::uint8_t Open() override { return 1; }
    std::uint8_t Scan() override { return 1; }
    std::unique_ptr<IspPath> SequencePath() override { return std::make_unique<NoSequence>(); }
    void Close() override {}
};

}  // namespace usbisp
