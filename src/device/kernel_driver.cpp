#include "device/kernel_driver.h"

#include "platform/win_constants.h"

namespace usbisp {

namespace {

constexpr const char* kDevicePrefix = "\\\\.\\";
constexpr const char* kLoadFailed = "Loading Tavdrv.Sys is Failed!\n";
constexpr std::size_t kMaxBaseName = 14;

}  // namespace

std::string KernelDriverPath(const std::string& driverFileName) {
    const auto dot = driverFileName.find('.');
    if (dot == std::string::npos || dot == 0 || dot > kMaxBaseName) return kDevicePrefix;
    return kDevicePrefix + driverFileName.substr(0, dot);
}

std::uint8_t OpenKernelDriver(Platform& platform, Transports& transports,
                              const std::string& driverFileName, bool checkMode) {
    const std::string path = KernelDriverPath(driverFileName);
    const Handle handle = platform.CreateFileA(path.c_str(), win::kGenericRead | win::kGenericWrite,
                                               0, win::kOpenExisting, 0);
    if (handle == kInvalidHandle || handle == kNullHandle) {
        transports.kernelDriverHandle = kNullHandle;
        platform.WriteStdout(kLoadFailed);
        return 1;
    }
    transports.kernelDriverHandle = handle;
    if (checkMode) CloseKernelDriver(platform, transports);
    return 0;
}

void CloseKernelDriver(Platform& platform, Transports& transports) {
    if (transports.kernelDriverHandle == kNullHandle) return;
    platform.CloseHandle(transports.kernelDriverHandle);
    transports.kernelDriverHandle = kNullHandle;
}

}  // namespace usbisp
