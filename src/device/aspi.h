// ASPI for Win32 (Windows ME without "SelfDriverSel"): the library is loaded
// at run time, each command goes as a request block with posting, and the
// requester polls until the request's completion routine has run.
//
// Threads: ASPI calls the completion routine on a thread of its own. The
// routine is handed the request block, the first member of the request's own
// record, and reaches everything of the request through it; it writes only
// into that record (the answer, the error and match indications, the status
// byte) and then sets the record's done flag with release order. The poller
// reads the record only after it has seen done with acquire order.
//
// A manager may also answer at once: SendASPI32Command returns the request's
// status instead of SS_PENDING (an absent target, an invalid adapter). That
// status is the completion, taken on the requester's thread; a routine the
// manager calls as well finds the completion taken and leaves the record
// alone. Whichever of the two comes first takes it, once.
//
// Lifetimes: the records belong to the ASPI state of the composition root
// until their routine has run; one the poller gives up on (its wait is
// bounded) stays there, so a late completion lands in its own record and
// never on a later request. Nor is the library freed under a request still
// posted in it: its last reference is kept until the routine has run.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "device/command_set.h"
#include "device/transports.h"
#include "platform/aspi.h"
#include "platform/platform.h"

namespace usbisp {

// 0 ready, 1 the library cannot be loaded, 2 an entry point is missing (the
// library is let go again). With both entry points known it returns 0 at once.
std::uint8_t LoadAspi(Platform& platform, AspiState& state);
// Lets the library go and forgets its entry points. While a request given up
// on is still posted in it, the last reference is kept instead and freed once
// that request's routine has run: on the next use of ASPI, or at the end.
void UnloadAspi(Platform& platform, AspiState& state);
// At the program's end: what UnloadAspi does. A reference still kept for a
// request that never completed stays until the process ends, which stops the
// library's threads before it unloads the library.
void ReleaseAspiAtExit(Platform& platform, AspiState& state);

// How long any request is waited for before it counts as failed: a bound
// against a manager that never completes, not a time-out. It is past the
// longest command time-out and the same for every request, since a controller
// that starts again after its jump into the ISP code may take seconds to post.
inline constexpr std::uint32_t kAspiGiveUpMs = 31000;
static_assert(kAspiGiveUpMs > kLongTimeout * 1000);

// The 24 characters (vendor and product) an inquiry is compared with.
using InquiryIdentity = std::array<char, 24>;

class AspiRequest;

// The 256-byte block of one request: the published request block first.
struct AspiBlock {
    aspi::SrbExecScsiCmd srb;
    AspiRequest* request;
};
static_assert(sizeof(AspiBlock) <= 256);

class AspiTransport {
  public:
    AspiTransport(Platform& platform, AspiState& state) : platform_(platform), state_(state) {}

    // The 40 bytes of inquiry data; `matched` when bytes 8..31 equal one of
    // the identities (fb first), each compared up to a zero byte. An inquiry
    // that completes with an error is simply no match. Polled every 10 ms.
    bool Inquiry(std::uint8_t adapter, std::uint8_t target, const InquiryIdentity& fb,
                 const InquiryIdentity& fa, bool& matched);
    // The 528-byte identity block, copied to `destination` whenever the request
    // completed, also with an error; true when it completed without one.
    // Polled every 10 ms.
    bool ReadIdentity(std::uint8_t adapter, std::uint8_t target, std::uint8_t* destination);
    // Polled every 100 ms; true when the request completed without an error.
    bool IspJump(std::uint8_t adapter, std::uint8_t target);
    // The status byte is handed back whenever the request completed.
    bool GetIspStatus(std::uint8_t adapter, std::uint8_t target, std::uint8_t& status);
    // The rounded length straight from `image`; refused without a request when
    // its buffer cannot be had or the command cannot describe the length.
    bool IspTransfer(std::uint8_t adapter, std::uint8_t target, std::uint32_t exactLength,
                     std::uint32_t roundedLength, std::uint8_t mode, const std::uint8_t* image);

  private:
    // A fresh request with its block filled and its buffer of `allocated`
    // bytes; nothing when ASPI is not loaded or the buffer cannot be had.
    std::shared_ptr<AspiRequest> Prepare(int kind, std::uint8_t adapter, std::uint8_t target,
                                         const ScsiCommand& command, std::uint32_t allocated);
    // Submits the request; a status the manager returns at once completes it.
    void Send(const std::shared_ptr<AspiRequest>& request);
    // Polls every `step` ms until the request is done or kAspiGiveUpMs have
    // passed; false when it gave up.
    bool Wait(const AspiRequest& request, std::uint32_t step);

    Platform& platform_;
    AspiState& state_;
};

}  // namespace usbisp
