// One pass-through request as SG_IO carries it. The request record the program
// built (already checked, see scsi_pass_through.h) becomes an sg_io_hdr with
// buffers of its own: the direction (a request without data is
// SG_DXFER_NONE), the CdbLength bytes of the command block, the data phase,
// the sense buffer of SenseInfoLength bytes and the time-out in milliseconds.
// What the kernel hands back becomes the request's completion: the SCSI
// status, the data actually moved and the sense bytes written, or a transport
// failure when the host adapter or the driver reports one.
#pragma once

#include <scsi/sg.h>

#include <array>
#include <cstdint>
#include <vector>

#include "platform/scsi_pass_through.h"

namespace usbisp::lnx {

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
    // False when the host adapter or the driver reports a failure: nothing
    // reliable came back.
    bool carried = false;
    std::uint8_t scsiStatus = 0;
    PassThroughReply reply;  // the data moved in, the sense bytes written
};

SgOutcome ReadOutcome(const SgRequest& request);

}  // namespace usbisp::lnx
