#include "platform/sim/port_driver_device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "emulator/operations.h"
#include "platform/byte_order.h"
#include "platform/printf_text.h"
#include "platform/sim/crc32.h"

namespace usbisp::sim {

namespace {

constexpr std::uint32_t kShortRecord = 16;
constexpr std::uint32_t kLongRecord = 40;
constexpr std::uint32_t kBlock = 512;
constexpr std::uint32_t kCountReply = 8;
constexpr std::uint32_t kStatusTransfer = 28;  // the code-66 status read
constexpr std::uint32_t kMaxPayload = 65536;

std::string Crc(const std::uint8_t* bytes, std::size_t length) {
    return Printf(" data=%08x", Crc32(bytes, length));
}

std::uint32_t Low32(const void* buffer) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(buffer));
}

std::string CdbHex(const std::uint8_t* cdb) {
    std::string hex;
    for (int i = 0; i < 12; ++i) hex += Printf("%02x", cdb[i]);
    return hex;
}

std::string LengthReason(const char* what, std::uint32_t given, std::uint32_t wanted) {
    return std::string(what) + " " + std::to_string(given) + " is not " + std::to_string(wanted);
}

// The table of code 65: which operation a function is, and the output length
// and parameters its record must carry.
struct Request65 {
    std::uint32_t function, parameter1, parameter2, address;
    std::uint8_t low() const { return static_cast<std::uint8_t>(parameter2); }
    std::uint8_t byte1() const { return static_cast<std::uint8_t>(parameter2 >> 8); }
    std::uint8_t unit() const { return static_cast<std::uint8_t>(parameter2 >> 16); }
    std::uint8_t device() const { return static_cast<std::uint8_t>(parameter2 >> 24); }
};

std::string Check65(const Request65& r, const void* out, std::uint32_t outSize,
                    ControllerRequest& request) {
    if (r.byte1() != 0) return Printf("parameter 2 byte 1 is 0x%x, not 0", r.byte1());
    if (r.unit() != 0) return Printf("unit %u is not 0", r.unit());
    if (out == nullptr) return "no buffer";
    if (r.address != Low32(out)) return "the buffer address in the record is not the call's buffer";
    switch (r.function) {
        case 1:
        case 31:
            request.op =
                r.function == 1 ? Operation::ReadIdentityBlock : Operation::ReadIdentityBlock2;
            request.address = r.parameter1;
            if (r.low() == 0) return "block count 0";
            if (outSize != r.low() * kBlock)
                return LengthReason("output length", outSize, r.low() * kBlock);
            return {};
        case 10:
            request.op = Operation::GetDeviceCount;
            if (r.parameter1 != 0 || r.parameter2 != 0) return "parameters 1 and 2 are not 0";
            if (outSize != kCountReply) return LengthReason("output length", outSize, kCountReply);
            return {};
        case 11:
        case 20:
        case 21:
        case 26: {
            const bool count = r.function == 11;
            request.op = count              ? Operation::GetLunCount
                         : r.function == 20 ? Operation::IspJump
                         : r.function == 21 ? Operation::GetIspStatus
                                            : Operation::GetFirmwareRevision;
            if (r.parameter1 != 0 || r.low() != 0) return "parameter 1 and byte 0 of 2 are not 0";
            const std::uint32_t wanted = count ? kCountReply : 1;
            if (outSize != wanted) return LengthReason("output length", outSize, wanted);
            return {};
        }
        case 22:
            request.op = r.low() == 0 ? Operation::IspWrite : Operation::IspVerify;
            if (outSize != 0) return LengthReason("output length", outSize, 0);
            if (r.parameter1 == 0 || r.parameter1 > kMaxPayload)
                return Printf("byte count %u is not 1 to 65536", r.parameter1);
            if (r.low() > 1)
                return Printf("mode %u is neither program (0) nor verify (1)", r.low());
            return {};
        case 32:
            request.op = Operation::WriteAddressedBlock;
            request.address = r.parameter1;
            if (outSize != 0) return LengthReason("output length", outSize, 0);
            if (r.low() == 0) return "block count 0";
            return {};
        default:
            return Printf("function %u not served by the driver", r.function);
    }
}

// Whether a code-66 command record is one whose io line shows the data
// going out: a transfer that passes the record's checks up to its data.
bool ShowsCdbPayload(const std::uint8_t* record, const void* out, std::uint32_t outSize) {
    std::array<std::uint8_t, 16> cdb{};
    std::copy(record + 12, record + 28, cdb.begin());
    if (GetLe32(record) != 3 || GetLe32(record + 8) != 0 || cdb[12] != 0 || cdb[13] != 0 ||
        cdb[14] != 0 || cdb[15] != 0 || out == nullptr || GetLe32(record + 36) != Low32(out))
        return false;
    const std::optional<Operation> op = OperationOf(cdb);
    if (op != Operation::IspWrite && op != Operation::IspVerify) return false;
    const std::uint32_t length = GetLe32(record + 32);
    const std::uint32_t wanted = cdb[6] * kBlock;
    const std::uint32_t exact = static_cast<std::uint32_t>(cdb[4] | cdb[5] << 8);
    return length == wanted && exact <= length && outSize == wanted;
}

}  // namespace

std::string PortDriverDetails(std::uint32_t code, const void* in, std::uint32_t inSize,
                              const void* out, std::uint32_t outSize) {
    const auto* record = static_cast<const std::uint8_t*>(in);
    if (record == nullptr || (code != kPortCode65 && code != kPortCode66)) return {};
    const auto* buffer = static_cast<const std::uint8_t*>(out);
    if (code == kPortCode65 && inSize == kShortRecord) {
        const Request65 r{GetLe32(record), GetLe32(record + 4), GetLe32(record + 8),
                          GetLe32(record + 12)};
        std::string details =
            Printf("fn=%u p1=0x%x p2=0x%x", r.function, r.parameter1, r.parameter2);
        ControllerRequest request;
        if (!Check65(r, out, outSize, request).empty()) return details;
        // The data-out requests show the bytes behind the buffer pointer.
        if (r.function == 22) details += Crc(buffer, r.parameter1);
        if (r.function == 32) details += Crc(buffer, r.low() * kBlock);
        return details;
    }
    if (code == kPortCode66 && inSize == kShortRecord)
        return Printf("fn=%u p2=0x%x", GetLe32(record), GetLe32(record + 8));
    if (code == kPortCode66 && inSize == kLongRecord) {
        std::string details = Printf("fn=%u dev=%u target=%u", GetLe32(record), GetLe32(record + 4),
                                     GetLe32(record + 8)) +
                              " cdb=" + CdbHex(record + 12) +
                              Printf(" dir=%u xfer=%u", GetLe32(record + 28), GetLe32(record + 32));
        if (ShowsCdbPayload(record, out, outSize)) details += Crc(buffer, GetLe32(record + 32));
        return details;
    }
    return {};
}

IoctlOutcome PortDriverDevice::Ioctl(std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                                     std::uint32_t outSize, std::uint32_t* bytesReturned) {
    if (bytesReturned) *bytesReturned = 0;
    if (code != family_) return {false, "", "control code not served by the driver"};
    const auto* record = static_cast<const std::uint8_t*>(in);
    if (in != nullptr && inSize == kShortRecord)
        return code == kPortCode65 ? Code65(record, out, outSize)
                                   : Code66Count(record, out, outSize);
    if (code == kPortCode66 && in != nullptr && inSize == kLongRecord)
        return Code66Cdb(record, out, outSize);
    return {false, "",
            code == kPortCode65
                ? LengthReason("input length", inSize, kShortRecord)
                : "input length " + std::to_string(inSize) + " is neither 16 nor 40"};
}

bool PortDriverDevice::Carry(std::uint32_t device, ControllerRequest request,
                             ControllerReply& reply) {
    if (device >= readers_.size()) return false;
    request.carrier = family_ == kPortCode65 ? Carrier::PortDriver65 : Carrier::PortDriver66;
    reply = readers_[device]->Handle(request);
    // The driver reports anything but a carried-out request as a failure.
    if (!reply.done()) return false;
    if (request.op == Operation::GetDeviceCount && deviceCount_ && !reply.data.empty())
        reply.data[0] = static_cast<std::uint8_t>(*deviceCount_);
    return true;
}

IoctlOutcome PortDriverDevice::Code65(const std::uint8_t* record, void* out,
                                      std::uint32_t outSize) {
    const Request65 r{GetLe32(record), GetLe32(record + 4), GetLe32(record + 8),
                      GetLe32(record + 12)};
    const std::string details = PortDriverDetails(kPortCode65, record, kShortRecord, out, outSize);
    ControllerRequest request;
    const std::string reason = Check65(r, out, outSize, request);
    if (!reason.empty()) return {false, details, reason};
    auto* buffer = static_cast<std::uint8_t*>(out);
    // The data-out requests hand over the bytes behind the buffer pointer.
    if (r.function == 22) request.payload.assign(buffer, buffer + r.parameter1);
    if (r.function == 32) request.payload.assign(buffer, buffer + r.low() * kBlock);

    ControllerReply reply;
    // The device count is the driver's own: the first reader carries it.
    const std::uint32_t device = r.function == 10 ? 0 : r.device();
    if (!Carry(device, request, reply)) return {false, details, ""};
    switch (r.function) {
        case 1:
        case 31:
        case 10:
        case 11:
            std::memcpy(buffer, reply.data.data(),
                        std::min<std::size_t>(outSize, reply.data.size()));
            break;
        case 21:
            buffer[0] = reply.data.empty() ? 0 : reply.data[0];
            break;
        case 26:
            // Declared as one byte; the driver fills all eight.
            std::memcpy(buffer, reply.data.data(), std::min<std::size_t>(8, reply.data.size()));
            break;
        default:
            break;
    }
    return {true, details, ""};
}

IoctlOutcome PortDriverDevice::Code66Count(const std::uint8_t* record, void* out,
                                           std::uint32_t outSize) {
    const std::uint32_t function = GetLe32(record);
    const std::uint32_t parameter2 = GetLe32(record + 8);
    const std::string details = PortDriverDetails(kPortCode66, record, kShortRecord, out, outSize);
    std::string reason;
    if (function != 1 && function != 2)
        reason = Printf("function %u not served by the 16-byte record", function);
    else if (GetLe32(record + 4) != 0)
        reason = "parameter 1 is not 0";
    else if ((function == 1 && parameter2 != 0) || (parameter2 & 0x00FFFFFFu) != 0)
        reason = "parameter 2 holds more than the device index";
    else if (out == nullptr || outSize != kCountReply)
        reason = LengthReason("output length", outSize, kCountReply);
    else if (GetLe32(record + 12) != Low32(out))
        reason = "the buffer address in the record is not the call's buffer";
    if (!reason.empty()) return {false, details, reason};

    ControllerRequest request;
    request.op = function == 1 ? Operation::GetDeviceCount : Operation::GetLunCount;
    ControllerReply reply;
    if (!Carry(function == 1 ? 0 : parameter2 >> 24, request, reply)) return {false, details, ""};
    std::memcpy(out, reply.data.data(), std::min<std::size_t>(kCountReply, reply.data.size()));
    return {true, details, ""};
}

IoctlOutcome PortDriverDevice::Code66Cdb(const std::uint8_t* record, void* out,
                                         std::uint32_t outSize) {
    const std::uint32_t function = GetLe32(record);
    const std::uint32_t device = GetLe32(record + 4);
    const std::uint32_t target = GetLe32(record + 8);
    std::array<std::uint8_t, 16> cdb{};
    std::copy(record + 12, record + 28, cdb.begin());
    const std::uint32_t direction = GetLe32(record + 28);
    const std::uint32_t length = GetLe32(record + 32);
    const std::string details = PortDriverDetails(kPortCode66, record, kLongRecord, out, outSize);
    auto refuse = [&](const std::string& reason) { return IoctlOutcome{false, details, reason}; };
    if (function != 3) return refuse(Printf("function %u is not 3", function));
    if (target != 0) return refuse(Printf("target %u is not 0", target));
    if (cdb[12] != 0 || cdb[13] != 0 || cdb[14] != 0 || cdb[15] != 0)
        return refuse("bytes 12 to 15 of the command area are not 0");
    if (out == nullptr) return refuse("no buffer");
    if (GetLe32(record + 36) != Low32(out))
        return refuse("the buffer address in the record is not the call's buffer");
    const std::optional<Operation> op = OperationOf(cdb);
    // A command block the controller does not know fails in transport.
    if (!op) return {false, details, ""};

    ControllerRequest request;
    request.op = *op;
    auto* buffer = static_cast<std::uint8_t*>(out);
    std::uint32_t wantedDirection = 1, wantedLength = 0, wantedOut = 0;
    switch (*op) {
        case Operation::ReadIdentity:
            wantedLength = wantedOut = 528;
            break;
        case Operation::IspJump:
            if (cdb[5] != 0x08) return refuse("IspJump carries 0x08 in byte 5 on this driver");
            wantedDirection = 0;
            break;
        case Operation::GetIspStatus:
            wantedLength = kStatusTransfer;
            wantedOut = kCountReply;
            break;
        case Operation::IspWrite:
        case Operation::IspVerify: {
            wantedDirection = 2;
            wantedLength = wantedOut = cdb[6] * kBlock;
            const std::uint32_t exact = static_cast<std::uint32_t>(cdb[4] | cdb[5] << 8);
            if (length == wantedLength && exact > length)
                return refuse(Printf("byte count %u above the transfer length %u", exact, length));
            if (length == wantedLength && outSize == wantedOut)
                request.payload.assign(buffer, buffer + exact);
            break;
        }
        default:
            return refuse(std::string(OperationName(*op)) + " is not carried by this driver");
    }
    if (direction != wantedDirection)
        return refuse(LengthReason("direction", direction, wantedDirection));
    if (length != wantedLength)
        return refuse(LengthReason("transfer length", length, wantedLength));
    if (outSize != wantedOut) return refuse(LengthReason("output length", outSize, wantedOut));
    // A transfer of more blocks than the controller's buffer holds: the
    // reader refuses it, which this driver reports as a failure in transport.
    if ((*op == Operation::IspWrite || *op == Operation::IspVerify) && !TransferFits(cdb))
        return {false, details, ""};

    ControllerReply reply;
    if (!Carry(device, request, reply)) return {false, details, ""};
    if (*op == Operation::ReadIdentity) {
        std::memcpy(buffer, reply.data.data(), std::min<std::size_t>(528, reply.data.size()));
    } else if (*op == Operation::GetIspStatus) {
        // The driver honours the declared 28 bytes.
        std::uint8_t status[kStatusTransfer] = {};
        std::memcpy(status, reply.data.data(),
                    std::min<std::size_t>(kStatusTransfer, reply.data.size()));
        std::memcpy(buffer, status, kStatusTransfer);
    }
    return {true, details, ""};
}

}  // namespace usbisp::sim
