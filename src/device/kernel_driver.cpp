#include "device/kernel_driver.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_order.h"
#include "platform/win_constants.h"

namespace usbisp {

namespace {

constexpr const char* kLoadFailed = "Loading Tavdrv.Sys is Failed!\n";

}  // namespace

std::uint8_t OpenKernelDriver(Platform& platform, Transports& transports,
                              const std::string& driverFileName, bool checkMode) {
    const std::string path = DriverDevicePath(driverFileName);
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

void FillKernelRequest(std::uint8_t* record, std::uint32_t code, std::uint32_t count,
                       std::uint32_t mode, const void* reply) {
    PutLe32(record + 0, code);
    PutLe32(record + 4, count);
    PutLe32(record + 8, mode);
    // The reply buffer's address as 32 bits: the driver's own business.
    PutLe32(record + 12, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(reply)));
}

bool KernelDriver::Send(std::uint32_t code, std::uint32_t count, std::uint32_t mode,
                        const std::uint8_t* payload, std::uint8_t* reply,
                        std::uint32_t replyLength) {
    std::vector<std::uint8_t>& record = transports_.kernelRequest;
    std::fill(record.begin(), record.end(), 0);
    FillKernelRequest(record.data(), code, count, mode, reply);
    if (payload != nullptr && count > 0)
        std::memcpy(record.data() + kdrv::kHeaderLength, payload, count);
    std::uint32_t returned = 0;
    return platform_.DeviceIoControl(transports_.kernelDriverHandle, code, record.data(),
                                     kdrv::kRequestLength, reply, replyLength, &returned);
}

bool KernelDriver::IspJump() {
    std::uint8_t reply = 0;
    return Send(kdrv::kIspJump, 0, 0, nullptr, &reply, 1);
}

bool KernelDriver::GetIspStatus(std::uint8_t& status) {
    std::uint8_t reply = 0;
    const bool ok = Send(kdrv::kGetIspStatus, 0, 0, nullptr, &reply, 1);
    status = reply;
    return ok;
}

bool KernelDriver::IspTransfer(const std::uint8_t* payload, std::uint32_t count,
                               std::uint8_t mode) {
    if (count > kdrv::kMaxPayload) return false;
    // No reply buffer: the driver answers through the status read.
    return Send(kdrv::kIspTransfer, count, mode, payload, nullptr, 0);
}

}  // namespace usbisp
