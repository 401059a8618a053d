#include "platform/sim/kernel_driver_device.h"

#include <cstdio>

#include "platform/byte_order.h"
#include "platform/printf_text.h"
#include "platform/sim/crc32.h"

namespace usbisp::sim {

namespace {

constexpr std::uint32_t kHeaderLength = 16;
constexpr std::uint32_t kMaxPayload = kKernelRequestLength - kHeaderLength;

// Why the record does not suit its control code; empty when it does.
std::string Check(std::uint32_t code, std::uint32_t recordCode, std::uint32_t count,
                  std::uint32_t mode, const void* out, std::uint32_t outSize) {
    if (recordCode != code)
        return "record code " + Printf("0x%x", recordCode) + " is not the control code " +
               Printf("0x%x", code);
    if (code == kKernelIspTransfer) {
        if (outSize != 0) return "reply length " + std::to_string(outSize) + " is not 0";
        if (count == 0 || count > kMaxPayload)
            return "count " + std::to_string(count) + " is not 1 to 65536";
        if (mode > 1)
            return "mode " + std::to_string(mode) + " is neither program (0) nor verify (1)";
        return {};
    }
    if (out == nullptr || outSize != 1)
        return "reply length " + std::to_string(outSize) + " is not 1";
    if (count != 0 || mode != 0) return "count and mode are not 0";
    return {};
}

}  // namespace

IoctlOutcome KernelDriverDevice::Ioctl(std::uint32_t code, void* in, std::uint32_t inSize,
                                       void* out, std::uint32_t outSize,
                                       std::uint32_t* bytesReturned) {
    if (bytesReturned) *bytesReturned = 0;
    if (code != kKernelIspJump && code != kKernelGetIspStatus && code != kKernelIspTransfer)
        return {false, "", "control code not served by the driver"};
    if (in == nullptr || inSize != kKernelRequestLength)
        return {false, "", "input length " + std::to_string(inSize) + " is not 65552"};
    const auto* record = static_cast<const std::uint8_t*>(in);
    const std::uint32_t count = GetLe32(record + 4);
    const std::uint32_t mode = GetLe32(record + 8);
    std::string details = "count=" + std::to_string(count) + " mode=" + std::to_string(mode);
    const std::string reason = Check(code, GetLe32(record), count, mode, out, outSize);
    if (!reason.empty()) return {false, details, reason};

    ControllerRequest request;
    request.carrier = Carrier::KernelDriver;
    if (code == kKernelIspJump) {
        request.op = Operation::IspJump;
    } else if (code == kKernelGetIspStatus) {
        request.op = Operation::GetIspStatus;
    } else {
        request.op = mode == 0 ? Operation::IspWrite : Operation::IspVerify;
        request.payload.assign(record + kHeaderLength, record + kHeaderLength + count);
        details += " data=" + Printf("%08x", Crc32(request.payload.data(), request.payload.size()));
    }
    // No reader behind the driver: the request goes nowhere.
    if (!reader_) return {false, details, ""};
    const ControllerReply reply = reader_->Handle(request);
    // The driver reports any status other than GOOD as a failed request.
    if (!reply.done()) return {false, details, ""};
    if (request.op == Operation::GetIspStatus) {
        *static_cast<std::uint8_t*>(out) = reply.data.empty() ? 0 : reply.data[0];
        if (bytesReturned) *bytesReturned = 1;
    }
    return {true, details, ""};
}

}  // namespace usbisp::sim
