#include "platform/linux/sg_request.h"

#include <algorithm>

#include "platform/printf_text.h"

namespace usbisp::lnx {

namespace {

constexpr unsigned kMillisecondsPerSecond = 1000;
// The driver's word that sense data came with the status: not a failure.
constexpr unsigned kDriverSense = 0x08;
constexpr unsigned kDriverStatusMask = 0x0F;
constexpr unsigned kDidError = 0x07;
constexpr std::uint8_t kCheckCondition = 0x02;
constexpr std::uint8_t kHardwareError = 0x04;

// The host adapter's words for what became of a request.
const char* HostStatusName(unsigned host) {
    static const char* const kNames[] = {
        "DID_OK",
        "DID_NO_CONNECT",
        "DID_BUS_BUSY",
        "DID_TIME_OUT",
        "DID_BAD_TARGET",
        "DID_ABORT",
        "DID_PARITY",
        "DID_ERROR",
        "DID_RESET",
        "DID_BAD_INTR",
        "DID_PASSTHROUGH",
        "DID_SOFT_ERROR",
        "DID_IMM_RETRY",
        "DID_REQUEUE",
        "DID_TRANSPORT_DISRUPTED",
        "DID_TRANSPORT_FAILFAST",
        "DID_TARGET_FAILURE",
        "DID_NEXUS_FAILURE",
        "DID_ALLOC_FAILURE",
        "DID_MEDIUM_ERROR",
        "DID_TRANSPORT_MARGINAL",
    };
    return host < std::size(kNames) ? kNames[host] : "an unknown host status";
}

// Where the sense key, ASC and ASCQ stand: fixed format (0x70, 0x71) or
// descriptor format (0x72, 0x73). False when the bytes are no sense data.
bool SenseFields(const std::vector<std::uint8_t>& sense, std::size_t& key, std::size_t& asc) {
    if (sense.empty()) return false;
    const std::uint8_t code = sense[0] & 0x7F;
    if (code == 0x70 || code == 0x71) {
        key = 2;
        asc = 12;
    } else if (code == 0x72 || code == 0x73) {
        key = 1;
        asc = 2;
    } else {
        return false;
    }
    return sense.size() > asc + 1;
}

// usb-storage answers a command that failed and whose REQUEST SENSE then
// said nothing (sense key, ASC and ASCQ zero) with DID_ERROR, GOOD status and
// the sense key overwritten with HARDWARE ERROR, so that the block layer does
// not retry it forever. Windows returns that request with ScsiStatus CHECK
// CONDITION and the sense the device gave; the device's sense key was NO
// SENSE (only the bits beside the key in that byte are lost). Nothing else
// comes back in this shape: a device's own HARDWARE ERROR arrives with CHECK
// CONDITION and no host status.
//
// A failed command whose REQUEST SENSE brought no sense data at all also
// ends as DID_ERROR, but without sense bytes: that cannot be told from a
// transfer that failed on the bus (a phase error, a lost device), which
// Windows fails too, so it stays a transport failure.
bool UndoEmptySenseRewrite(std::uint8_t& status, std::vector<std::uint8_t>& sense, unsigned host) {
    std::size_t key = 0, asc = 0;
    if (host != kDidError || status != 0 || !SenseFields(sense, key, asc)) return false;
    if ((sense[key] & 0x0F) != kHardwareError || sense[asc] != 0 || sense[asc + 1] != 0)
        return false;
    sense[key] = 0;
    status = kCheckCondition;
    return true;
}

}  // namespace

SgRequest::SgRequest(const PassThroughRequest& request) {
    header_.interface_id = 'S';
    std::copy_n(request.deviceCdb.begin(), request.cdbLength, cdb_.begin());
    // Windows sends a command block of 1 to 5 bytes as it is; sg refuses
    // one shorter than 6. The bytes after the declared ones are zeros on
    // either way to the device (the USB command wrapper carries 16), so the
    // block goes out as 6 bytes with zeros after the declared ones: only the
    // wrapper's length field differs.
    header_.cmd_len = std::max(request.cdbLength, kSgMinCommandLength);
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
    const unsigned written = std::min<unsigned>(h.sb_len_wr, h.mx_sb_len);
    std::vector<std::uint8_t> sense;
    if (written > 0) sense.assign(h.sbp, h.sbp + written);
    std::uint8_t status = h.status;
    const unsigned driver = h.driver_status & kDriverStatusMask;
    const bool rewritten = UndoEmptySenseRewrite(status, sense, h.host_status);
    outcome.carried = rewritten || (h.host_status == 0 && (driver == 0 || driver == kDriverSense));
    if (!outcome.carried) {
        const std::string statuses =
            Printf("host status 0x%02x, driver status 0x%02x", h.host_status, h.driver_status);
        outcome.failure = h.host_status != 0
                              ? std::string("host adapter: ") + HostStatusName(h.host_status) +
                                    " (" + statuses + ")"
                              : "driver: " + statuses;
        return outcome;
    }
    outcome.scsiStatus = status;
    const int resid = std::clamp(h.resid, 0, static_cast<int>(h.dxfer_len));
    if (h.dxfer_direction == SG_DXFER_FROM_DEV) {
        const auto* data = static_cast<const std::uint8_t*>(h.dxferp);
        outcome.reply.dataIn.assign(data, data + (h.dxfer_len - static_cast<unsigned>(resid)));
    } else if (h.dxfer_direction == SG_DXFER_TO_DEV) {
        outcome.reply.dataOutResidue = static_cast<std::uint32_t>(resid);
    }
    outcome.reply.sense = std::move(sense);
    return outcome;
}

}  // namespace usbisp::lnx
