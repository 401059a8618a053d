#include "platform/scsi_pass_through.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/byte_order.h"
#include "platform/crc32.h"
#include "platform/printf_text.h"

namespace usbisp {

namespace {

// The checks the storage stack makes before a request reaches the device.
std::string Check(const PassThroughRequest& r, std::uint16_t length, std::uint32_t inSize,
                  std::uint32_t outSize) {
    if (length != kPassThroughHeaderLength)
        return "Length " + std::to_string(length) + " is not 44";
    if (outSize < kPassThroughHeaderLength)
        return "output length " + std::to_string(outSize) + " does not hold the 44-byte header";
    if (r.cdbLength == 0 || r.cdbLength > 12)
        return "CdbLength " + std::to_string(r.cdbLength) + " is not 1 to 12";
    if (r.dataIn > 1)
        return "DataIn " + std::to_string(r.dataIn) + " is neither in (1) nor out (0)";
    if (r.timeOutValue < 1 || r.timeOutValue > kPassThroughMaxTimeout)
        return "TimeOutValue " + std::to_string(r.timeOutValue) + " is not 1 s to 30 h (108000 s)";
    if (r.dataTransferLength > kPassThroughMaxTransfer)
        return "DataTransferLength " + std::to_string(r.dataTransferLength) + " is more than 65536";
    if (r.senseInfoLength > 0) {
        if (r.senseInfoOffset < kPassThroughHeaderLength)
            return "SenseInfoOffset " + std::to_string(r.senseInfoOffset) + " overlaps the header";
        const std::uint64_t end = std::uint64_t{r.senseInfoOffset} + r.senseInfoLength;
        if (end > outSize)
            return "sense area ends at " + std::to_string(end) + ", past the output buffer (" +
                   std::to_string(outSize) + ")";
    }
    if (r.dataTransferLength > 0) {
        if (r.dataBufferOffset < kPassThroughHeaderLength)
            return "DataBufferOffset " + std::to_string(r.dataBufferOffset) +
                   " overlaps the header";
        const std::uint64_t end = std::uint64_t{r.dataBufferOffset} + r.dataTransferLength;
        if (r.isDataIn() && end > outSize)
            return "output length " + std::to_string(outSize) +
                   " below DataBufferOffset + DataTransferLength (" + std::to_string(end) + ")";
        if (!r.isDataIn() && end > inSize)
            return "input length " + std::to_string(inSize) +
                   " below DataBufferOffset + DataTransferLength (" + std::to_string(end) + ")";
    }
    if (r.senseInfoLength > 0 && r.dataTransferLength > 0) {
        const std::uint64_t senseEnd = std::uint64_t{r.senseInfoOffset} + r.senseInfoLength;
        const std::uint64_t dataEnd = std::uint64_t{r.dataBufferOffset} + r.dataTransferLength;
        if (r.senseInfoOffset < dataEnd && r.dataBufferOffset < senseEnd)
            return "sense area " + std::to_string(r.senseInfoOffset) + ".." +
                   std::to_string(senseEnd - 1) + " overlaps the data area " +
                   std::to_string(r.dataBufferOffset) + ".." + std::to_string(dataEnd - 1);
    }
    return {};
}

}  // namespace

ParsedPassThrough ParsePassThrough(const void* in, std::uint32_t inSize, const void* out,
                                   std::uint32_t outSize) {
    ParsedPassThrough parsed;
    if (in == nullptr || inSize < kPassThroughHeaderLength) {
        parsed.reason =
            "input length " + std::to_string(inSize) + " does not hold the 44-byte header";
        return parsed;
    }
    const auto* b = static_cast<const std::uint8_t*>(in);
    PassThroughRequest r;
    const auto length = GetLe16(b);
    r.scsiStatus = b[2];
    r.cdbLength = b[6];
    r.senseInfoLength = b[7];
    r.dataIn = b[8];
    r.dataTransferLength = GetLe32(b + 12);
    r.timeOutValue = GetLe32(b + 16);
    r.dataBufferOffset = GetLe32(b + 20);
    r.senseInfoOffset = GetLe32(b + 24);
    std::copy(b + 28, b + 44, r.cdb.begin());
    // The bytes beyond CdbLength stay in the record; the device never sees them.
    std::copy_n(r.cdb.begin(), std::min<std::size_t>(r.cdbLength, r.cdb.size()),
                r.deviceCdb.begin());
    parsed.reason = out == nullptr ? "no output buffer" : Check(r, length, inSize, outSize);
    if (parsed.reason.empty() && !r.isDataIn())
        r.dataOut.assign(b + r.dataBufferOffset, b + r.dataBufferOffset + r.dataTransferLength);
    parsed.request = std::move(r);
    return parsed;
}

std::string PassThroughDetails(const PassThroughRequest& r, std::uint8_t scsiStatus,
                               const std::vector<std::uint8_t>& sense) {
    std::string cdb;
    for (int i = 0; i < 12; ++i) cdb += Printf("%02x", r.cdb[static_cast<std::size_t>(i)]);
    const std::string dir = r.dataIn == 1 ? "in" : r.dataIn == 0 ? "out" : std::to_string(r.dataIn);
    std::string text =
        "cdb=" + cdb + " dir=" + dir + " xfer=" + std::to_string(r.dataTransferLength) +
        " timeout=" + std::to_string(r.timeOutValue) + " scsi=" + Printf("%02x", scsiStatus);
    // The data of a request refused before it was read is not described.
    if (r.dataIn == 0 && r.dataOut.size() == r.dataTransferLength)
        text += " data=" + Printf("%08x", Crc32(r.dataOut.data(), r.dataOut.size()));
    if (!sense.empty()) {
        text += " sense=";
        for (std::uint8_t b : sense) text += Printf("%02x", b);
    }
    return text;
}

std::uint32_t CompletePassThrough(const void* in, void* out, const PassThroughRequest& request,
                                  std::uint8_t scsiStatus, const PassThroughReply& reply,
                                  std::vector<std::uint8_t>* senseDelivered) {
    auto* o = static_cast<std::uint8_t*>(out);
    if (o != in) std::memcpy(o, in, kPassThroughHeaderLength);
    o[2] = scsiStatus;
    const auto senseLength = static_cast<std::uint8_t>(
        std::min<std::size_t>(reply.sense.size(), request.senseInfoLength));
    if (senseLength > 0) std::memcpy(o + request.senseInfoOffset, reply.sense.data(), senseLength);
    o[7] = senseLength;
    if (senseDelivered)
        senseDelivered->assign(reply.sense.begin(), reply.sense.begin() + senseLength);
    std::uint32_t returned = kPassThroughHeaderLength;
    if (request.isDataIn()) {
        const auto moved = static_cast<std::uint32_t>(
            std::min<std::size_t>(reply.dataIn.size(), request.dataTransferLength));
        if (moved > 0) std::memcpy(o + request.dataBufferOffset, reply.dataIn.data(), moved);
        PutLe32(o + 12, moved);
        returned = request.dataBufferOffset + moved;
    } else {
        PutLe32(o + 12, request.dataTransferLength -
                            std::min(reply.dataOutResidue, request.dataTransferLength));
    }
    // The sense bytes count among those returned when they lie beyond the rest.
    if (senseLength > 0)
        returned = std::max(returned, request.senseInfoOffset + std::uint32_t{senseLength});
    return returned;
}

}  // namespace usbisp
