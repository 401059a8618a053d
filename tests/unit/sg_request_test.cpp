// What the Linux layer reads back from an sg_io_hdr the kernel has written:
// what the bench behind the seam never answers (host adapter and driver
// errors, odd residues, more sense than fits). The headers it builds are
// checked request by request in the runs through the seam.
#include "platform/linux/sg_request.h"

#include <gtest/gtest.h>

#include <vector>

#include "device/command_set.h"
#include "device/pass_through.h"

namespace usbisp {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The INQUIRY the program sends, as Windows reads it.
PassThroughRequest Inquiry() {
    Bytes record(116, 0);
    FillPassThroughHeader(record.data(), InquiryCommand(0));
    ParsedPassThrough parsed = ParsePassThrough(record.data(), 44, record.data(), 116);
    EXPECT_TRUE(parsed.request && parsed.reason.empty()) << parsed.reason;
    return parsed.request.value_or(PassThroughRequest{});
}

// What the kernel wrote into the header, and the completion read from it.
TEST(SgRequest, OutcomeFromWhatTheKernelWrote) {
    struct Row {
        const char* name;
        unsigned short host, driver;
        unsigned char status, senseWritten;
        int resid;
        bool carried;
        std::size_t moved, sense;
    };
    const Row kRows[] = {
        {"good, all data", 0, 0, 0x00, 0, 0, true, 36, 0},
        {"good, short by 4", 0, 0, 0x00, 0, 4, true, 32, 0},
        {"check condition with sense", 0, 0x08, 0x02, 18, 36, true, 0, 18},
        {"sense longer than the buffer", 0, 0x08, 0x02, 40, 36, true, 0, 24},
        {"a residue beyond the length", 0, 0, 0x00, 0, 99, true, 0, 0},
        {"a negative residue", 0, 0, 0x00, 0, -3, true, 36, 0},
        {"busy with the driver's sense flag", 0, 0x28, 0x08, 0, 36, true, 0, 0},
        {"host adapter time-out", 0x03, 0, 0x00, 0, 0, false, 0, 0},
        {"host adapter gone", 0x01, 0, 0x00, 0, 0, false, 0, 0},
        {"driver time-out", 0, 0x06, 0x00, 0, 0, false, 0, 0},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        lnx::SgRequest sg(Inquiry());
        sg_io_hdr_t& h = sg.header();
        h.host_status = row.host;
        h.driver_status = row.driver;
        h.status = row.status;
        h.sb_len_wr = row.senseWritten;
        h.resid = row.resid;
        for (unsigned i = 0; i < h.dxfer_len; ++i) static_cast<std::uint8_t*>(h.dxferp)[i] = 0x41;
        for (unsigned i = 0; i < h.mx_sb_len; ++i) h.sbp[i] = static_cast<std::uint8_t>(0x70 + i);
        const lnx::SgOutcome outcome = lnx::ReadOutcome(sg);
        EXPECT_EQ(outcome.carried, row.carried);
        if (!row.carried) continue;
        EXPECT_EQ(outcome.scsiStatus, row.status);
        EXPECT_EQ(outcome.reply.dataIn, Bytes(row.moved, 0x41));
        ASSERT_EQ(outcome.reply.sense.size(), row.sense);
        if (row.sense > 0) {
            EXPECT_EQ(outcome.reply.sense[1], 0x71);
        }
    }
}

}  // namespace
}  // namespace usbisp
