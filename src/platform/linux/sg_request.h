// One pass-through request as the sg driver carries it. The request record the
// program built (already checked, see scsi_pass_through.h) becomes an
// sg_io_hdr with buffers of its own: the direction (a request without data is
// SG_DXFER_NONE), the command block, the data phase, the sense buffer of
// SenseInfoLength bytes and the time-out in milliseconds. What the kernel
// hands back becomes the request's completion as Windows would give it: the
// SCSI status, the data actually moved in either direction and the sense
// bytes written, or a transport failure when the host adapter reports one.
#pragma once

#include <scsi/sg.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/scsi_pass_through.h"

namespace usbisp::lnx {

// sg takes no command block shorter than this (EMSGSIZE).
inline constexpr std::uint8_t kSgMinCommandLength = 6;

class SgRequest {
  public:
    explicit SgRequest(const PassThroughRequest& request);
    // The header points into this object's own buffers: it stays where it is.
    SgRequest(const SgRequest&) = delete;
    SgRequest& operator=(const SgRequest&) = delete;

    sg_io_hdr_t& header() { return header_; }
    const sg_io_hdr_t& header() const { return header_; }

  private:
    sg_io_hdr_t header_{};
    std::array<std::uint8_t, 16> cdb_{};
    std::vector<std::uint8_t> data_;
    std::vector<std::uint8_t> sense_;
};

// What became of a request the kernel took.
struct SgOutcome {
    // False when the host adapter reports a failure: nothing reliable came
    // back, and `failure` says what the adapter reported.
    bool carried = false;
    std::string failure;
    std::uint8_t scsiStatus = 0;
    PassThroughReply reply;  // the data moved in, the sense bytes written, the residue out
};

SgOutcome ReadOutcome(const SgRequest& request);

}  // namespace usbisp::lnx
