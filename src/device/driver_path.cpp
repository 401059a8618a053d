#include "device/driver_path.h"

namespace usbisp {

namespace {

constexpr const char* kDevicePrefix = "\\\\.\\";
constexpr std::size_t kMaxBaseName = 14;

}  // namespace

std::string DriverDevicePath(const std::string& driverFileName) {
    const auto dot = driverFileName.find('.');
    if (dot == std::string::npos || dot == 0 || dot > kMaxBaseName) return kDevicePrefix;
    return kDevicePrefix + driverFileName.substr(0, dot);
}

}  // namespace usbisp
