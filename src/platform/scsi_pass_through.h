// The SCSI pass-through request (IOCTL_SCSI_PASS_THROUGH) as Windows receives
// it: the 44-byte header of 32-bit Windows at the start of the input buffer,
// checked as strictly as Windows and the storage drivers check it, described
// for the transcript's io line, and completed. The platform layers that are
// not Windows take it here: the bench's drives and the Linux layer, which
// hands it on to the kernel as SG_IO.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace usbisp {

inline constexpr std::uint32_t kPassThroughHeaderLength = 44;
// The most data one request carries, and the time-outs the storage stack
// takes (1 s to 30 h).
inline constexpr std::uint32_t kPassThroughMaxTransfer = 65536;
inline constexpr std::uint32_t kPassThroughMaxTimeout = 108000;
// Why a drive refuses any other control code.
inline constexpr const char* kNotServedByDrive = "control code not served by a drive";

struct PassThroughRequest {
    std::uint8_t scsiStatus = 0;
    std::uint8_t cdbLength = 0;
    std::uint8_t senseInfoLength = 0;
    std::uint8_t dataIn = 0;  // 1 in, 0 out
    std::uint32_t dataTransferLength = 0;
    std::uint32_t timeOutValue = 0;
    std::uint32_t dataBufferOffset = 0;
    std::uint32_t senseInfoOffset = 0;
    std::array<std::uint8_t, 16> cdb{};
    // The command block as it reaches the device: its first CdbLength bytes,
    // zeros after them.
    std::array<std::uint8_t, 16> deviceCdb{};
    // The data phase of a data-out request, taken from the input buffer.
    std::vector<std::uint8_t> dataOut;

    bool isDataIn() const { return dataIn == 1; }
};

struct ParsedPassThrough {
    std::optional<PassThroughRequest> request;  // empty: the header could not be read
    std::string reason;                         // why the request is malformed; empty if sound
};

// Reads and checks the request. The header fields are read whenever the input
// holds them, so that even a refused request can be described.
ParsedPassThrough ParsePassThrough(const void* in, std::uint32_t inSize, const void* out,
                                   std::uint32_t outSize);

// The io line's details: cdb=... dir=... xfer=... timeout=... scsi=.. [data=...]
// [sense=...], the last with the sense bytes the request delivered.
std::string PassThroughDetails(const PassThroughRequest& request, std::uint8_t scsiStatus,
                               const std::vector<std::uint8_t>& sense = {});

// What a completed request hands back besides its status.
struct PassThroughReply {
    std::vector<std::uint8_t> dataIn;  // at most DataTransferLength of them are moved
    std::vector<std::uint8_t> sense;   // at most SenseInfoLength of them are delivered
    // The bytes of a data-out phase the device did not take.
    std::uint32_t dataOutResidue = 0;
};

// Completes a request: the header goes back into the output buffer with its
// ScsiStatus, the length actually moved (data in or out) and the number of
// sense bytes delivered (SenseInfoLength, 0 when there are none), followed by
// the data-in bytes and the sense bytes. Returns the bytes returned;
// `senseDelivered`, when given, receives the sense bytes as they went out.
std::uint32_t CompletePassThrough(const void* in, void* out, const PassThroughRequest& request,
                                  std::uint8_t scsiStatus, const PassThroughReply& reply,
                                  std::vector<std::uint8_t>* senseDelivered = nullptr);

}  // namespace usbisp
