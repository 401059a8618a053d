#include "platform/sim/driver_device.h"

#include "platform/ascii_case.h"
#include "platform/printf_text.h"

namespace usbisp::sim {

bool DriverDevice::Open() {
    ++opens_;
    const std::string numbered = Printf("#%d", opens_);
    for (const std::string& failure : failures_) {
        const auto hash = failure.find('#');
        if (!SameIgnoringCase(failure.substr(0, hash), fileName_)) continue;
        if (hash == std::string::npos || failure.substr(hash) == numbered) return false;
    }
    return true;
}

}  // namespace usbisp::sim
