#include "platform/linux/sg_request.h"

#include <algorithm>

namespace usbisp::lnx {

namespace {

constexpr unsigned kMillisecondsPerSecond = 1000;
// The driver's word that sense data came with the status: not a failure.
constexpr unsigned kDriverSense = 0x08;
constexpr unsigned kDriverStatusMask = 0x0F;

}  // namespace

SgRequest::SgRequest(const PassThroughRequest& request) {
    header_.interface_id = 'S';
    std::copy_n(request.deviceCdb.begin(), request.cdbLength, cdb_.begin());
    header_.cmd_len = request.cdbLength;
    header_.cmdp = cdb_.data();
    if (request.dataTransferLength == 0) {
        header_.dxfer_direction = SG_DXFER_NONE;
    } else if (request.isDataIn()) {
        header_.dxfer_direction = SG_DXFER_FROM_DEV;
        data_.assign(request.dataTransferLength, 0);
    } else {
        header_.dxfer_direction = SG_DXFER_TO_DEV;
        data_ = request.dataOut;
    }
    header_.dxfer_len = request.dataTransferLength;
    header_.dxferp = data_.empty() ? nullptr : data_.data();
    sense_.assign(request.senseInfoLength, 0);
    header_.mx_sb_len = request.senseInfoLength;
    header_.sbp = sense_.empty() ? nullptr : sense_.data();
    // At most 30 h in seconds: the milliseconds fit the header's 32 bits.
    header_.timeout = request.timeOutValue * kMillisecondsPerSecond;
}

SgOutcome ReadOutcome(const SgRequest& request) {
    const sg_io_hdr_t& h = request.header();
    SgOutcome outcome;
    const unsigned driver = h.driver_status & kDriverStatusMask;
    outcome.carried = h.host_status == 0 && (driver == 0 || driver == kDriverSense);
    if (!outcome.carried) return outcome;
    outcome.scsiStatus = h.status;
    if (h.dxfer_direction == SG_DXFER_FROM_DEV) {
        const int resid = std::clamp(h.resid, 0, static_cast<int>(h.dxfer_len));
        const auto* data = static_cast<const std::uint8_t*>(h.dxferp);
        outcome.reply.dataIn.assign(data, data + (h.dxfer_len - static_cast<unsigned>(resid)));
    }
    const unsigned written = std::min<unsigned>(h.sb_len_wr, h.mx_sb_len);
    if (written > 0) outcome.reply.sense.assign(h.sbp, h.sbp + written);
    return outcome;
}

}  // namespace usbisp::lnx
