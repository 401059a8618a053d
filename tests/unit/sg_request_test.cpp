// What the Linux layer reads back from an sg_io_hdr the kernel has written:
// what the bench behind the seam never answers (host adapter and driver
// errors, odd residues, more sense than fits, the sense usb-storage makes of
// an empty one), and the headers it builds where sg and Windows differ. The
// headers of the program's own requests are checked request by request in the
// runs through the seam.
#include "platform/linux/sg_request.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "device/command_set.h"
#include "device/pass_through.h"
#include "platform/byte_order.h"

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

// usb-storage's answer to a failed command whose REQUEST SENSE said nothing
// (DID_ERROR, GOOD, sense key HARDWARE ERROR and no ASC) is the CHECK
// CONDITION Windows returns, with the device's own sense key; any other host
// adapter error stays a transport failure and says what the adapter said.
TEST(SgRequest, HostAdapterErrors) {
    using Sense = std::vector<std::uint8_t>;
    const Sense fixedStamped = {0x70, 0, 0x04, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const Sense fixedRestored = {0x70, 0, 0x00, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const Sense descriptorStamped = {0x72, 0x04, 0, 0, 0, 0, 0, 0};
    const Sense descriptorRestored = {0x72, 0x00, 0, 0, 0, 0, 0, 0};
    Sense withAsc = fixedStamped;
    withAsc[12] = 0x44;  // INTERNAL TARGET FAILURE: the device's own word
    struct Row {
        const char* name;
        unsigned short host, driver;
        unsigned char status;
        Sense sense;
        bool carried;
        unsigned char scsiStatus;
        Sense delivered;
        std::string failure;
    };
    const Row kRows[] = {
        {"usb-storage's empty sense, fixed format", 0x07, 0x08, 0x00, fixedStamped, true, 0x02,
         fixedRestored, ""},
        {"usb-storage's empty sense, descriptor format", 0x07, 0x08, 0x00, descriptorStamped, true,
         0x02, descriptorRestored, ""},
        {"a hardware error with its own ASC",
         0x07,
         0x08,
         0x00,
         withAsc,
         false,
         0,
         {},
         "host adapter: DID_ERROR (host status 0x07, driver status 0x08)"},
        {"DID_ERROR without sense",
         0x07,
         0,
         0x00,
         {},
         false,
         0,
         {},
         "host adapter: DID_ERROR (host status 0x07, driver status 0x00)"},
        {"the device's own CHECK CONDITION", 0, 0x08, 0x02, fixedStamped, true, 0x02, fixedStamped,
         ""},
        {"a time-out",
         0x03,
         0,
         0x00,
         {},
         false,
         0,
         {},
         "host adapter: DID_TIME_OUT (host status 0x03, driver status 0x00)"},
        {"a disconnect",
         0x01,
         0,
         0x00,
         {},
         false,
         0,
         {},
         "host adapter: DID_NO_CONNECT (host status 0x01, driver status 0x00)"},
        {"an unknown host status",
         0x40,
         0,
         0x00,
         {},
         false,
         0,
         {},
         "host adapter: an unknown host status (host status 0x40, driver status 0x00)"},
        {"the driver's time-out",
         0,
         0x06,
         0x00,
         {},
         false,
         0,
         {},
         "driver: host status 0x00, driver status 0x06"},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        lnx::SgRequest sg(Inquiry());
        sg_io_hdr_t& h = sg.header();
        h.host_status = row.host;
        h.driver_status = row.driver;
        h.status = row.status;
        h.sb_len_wr = static_cast<unsigned char>(row.sense.size());
        std::copy(row.sense.begin(), row.sense.end(), h.sbp);
        const lnx::SgOutcome outcome = lnx::ReadOutcome(sg);
        EXPECT_EQ(outcome.carried, row.carried);
        EXPECT_EQ(outcome.failure, row.failure);
        if (!row.carried) continue;
        EXPECT_EQ(outcome.scsiStatus, row.scsiStatus);
        EXPECT_EQ(outcome.reply.sense, row.delivered);
    }
}

// Windows writes the length moved back into DataTransferLength for data out
// too: a device that took 1000 of 1024 bytes leaves 1000 there.
TEST(SgRequest, TheResidueOfADataOutTransfer) {
    Bytes record(44 + 4 + 24 + 1024, 0);
    PutLe16(&record[0], 44);
    record[6] = 12;
    record[7] = 24;
    record[8] = 0;  // data out
    PutLe32(&record[12], 1024);
    PutLe32(&record[16], 30);
    PutLe32(&record[20], 72);
    PutLe32(&record[24], 48);
    record[28] = 0x06;
    record[29] = 0xB1;
    const ParsedPassThrough parsed =
        ParsePassThrough(record.data(), static_cast<std::uint32_t>(record.size()), record.data(),
                         static_cast<std::uint32_t>(record.size()));
    ASSERT_TRUE(parsed.request && parsed.reason.empty()) << parsed.reason;
    for (const int resid : {0, 24, 2000}) {
        SCOPED_TRACE(resid);
        lnx::SgRequest sg(*parsed.request);
        EXPECT_EQ(sg.header().dxfer_direction, SG_DXFER_TO_DEV);
        sg.header().resid = resid;
        const lnx::SgOutcome outcome = lnx::ReadOutcome(sg);
        ASSERT_TRUE(outcome.carried);
        Bytes out = record;
        CompletePassThrough(record.data(), out.data(), *parsed.request, 0, outcome.reply);
        EXPECT_EQ(GetLe32(&out[12]), 1024u - static_cast<std::uint32_t>(std::min(resid, 1024)));
    }
}

// sg takes no command block shorter than 6 bytes: a shorter one goes out as
// 6, zeros after the declared bytes, as the device sees it from Windows.
TEST(SgRequest, ShortCommandBlocks) {
    for (const std::uint8_t length : {1, 3, 5, 6, 10, 12}) {
        SCOPED_TRACE(static_cast<int>(length));
        PassThroughRequest request = Inquiry();
        request.cdbLength = length;
        request.deviceCdb = {};
        for (std::uint8_t i = 0; i < length; ++i)
            request.deviceCdb[i] = static_cast<std::uint8_t>(0xA0 + i);
        const lnx::SgRequest sg(request);
        const sg_io_hdr_t& h = sg.header();
        EXPECT_EQ(h.cmd_len, std::max<std::uint8_t>(length, 6));
        for (unsigned i = 0; i < h.cmd_len; ++i)
            EXPECT_EQ(h.cmdp[i], i < length ? 0xA0 + i : 0) << i;
    }
}

}  // namespace
}  // namespace usbisp
