// The station's clock, as the readers' runs and the station itself see it:
// the milliseconds since the station started, the local time, and the waits of
// a reader's run. On the bench it is the bench's virtual clock; on real
// readers the machine's.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace usbisp::station {

class StationTime {
  public:
    virtual ~StationTime() = default;
    virtual std::uint64_t NowMs() = 0;
    virtual LocalTime Local() = 0;
    // A reader's run waits; called on the thread of that run.
    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

// "2003-11-18T09:30:00.100", as the production log writes times.
std::string IsoTime(const LocalTime& t);

}  // namespace usbisp::station
