// The time the Linux layer reports and the waits it makes. SystemClock is the
// machine's; the tests put the bench's virtual clock behind the same calls.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace usbisp::lnx {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual LocalTime Now() = 0;
    virtual void Wait(std::uint32_t milliseconds) = 0;
};

class SystemClock final : public Clock {
  public:
    LocalTime Now() override;
    void Wait(std::uint32_t milliseconds) override;
};

}  // namespace usbisp::lnx
