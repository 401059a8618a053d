#include "platform/sim/driver_device.h"

#include <algorithm>
#include <cctype>

namespace usbisp::sim {

namespace {

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

}  // namespace

bool DriverDevice::Open() {
    ++opens_;
    const std::string numbered = "#" + std::to_string(opens_);
    for (const std::string& failure : failures_) {
        const auto hash = failure.find('#');
        if (!SameName(failure.substr(0, hash), fileName_)) continue;
        if (hash == std::string::npos || failure.substr(hash) == numbered) return false;
    }
    return true;
}

}  // namespace usbisp::sim
