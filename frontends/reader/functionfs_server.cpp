#include "reader/functionfs_server.h"

#include <endian.h>
#include <fcntl.h>
#include <linux/usb/functionfs.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/printf_text.h"
#include "reader/bulk_transfers.h"
#include "reader/functionfs_aio.h"
#include "reader/functionfs_blobs.h"

namespace usbisp::reader {

namespace {

// Consecutive transfers that fail while the function is enabled before the
// service gives up.
constexpr int kMaxFailedTransfers = 1000;
// How often the pipes are halted again while the halt is held for a reset:
// a host that clears a halt and reads meets the halt again within this.
constexpr int kHaltAgainMs = 5;

std::string Hex(const std::uint8_t* bytes, std::size_t n) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) text += Printf("%02x", bytes[i]);
    return text;
}

class Server {
  public:
    Server(sim::UsbBulkOnlyFront& front, const ServerHooks& hooks)
        : front_(front),
          hooks_(hooks),
          transfers_(front, pipes_, hooks.afterCommand, hooks.trace) {}
    ~Server() {
        if (ep0_ >= 0) close(ep0_);
    }

    bool Open(const std::string& dir, std::string& error);
    bool Run(std::string& error);

  private:
    bool HandleEp0(std::string& error);
    void HandleSetup(const usb_ctrlrequest& setup);
    void Trace(const std::string& line) {
        if (hooks_.trace) hooks_.trace(line);
    }

    sim::UsbBulkOnlyFront& front_;
    const ServerHooks& hooks_;
    int ep0_ = -1;
    AioPipes pipes_;
    EndingSignals signals_;
    BulkTransfers transfers_;
};

bool Server::Open(const std::string& dir, std::string& error) {
    ep0_ = open((dir + "/ep0").c_str(), O_RDWR | O_CLOEXEC);
    if (ep0_ < 0) {
        error = "cannot open " + dir + "/ep0: " + std::strerror(errno);
        return false;
    }
    for (const auto& blob : {FunctionFsDescriptors(), FunctionFsStrings()}) {
        if (write(ep0_, blob.data(), blob.size()) != static_cast<ssize_t>(blob.size())) {
            error = "FunctionFS refused the descriptors: " + std::string(std::strerror(errno));
            return false;
        }
    }
    return pipes_.Open(dir, error) && signals_.Open(error);
}

void Server::HandleSetup(const usb_ctrlrequest& setup) {
    sim::UsbSetup request;
    request.requestType = setup.bRequestType;
    request.request = setup.bRequest;
    // The setup packet's words are little-endian, whatever the board's CPU.
    request.value = le16toh(setup.wValue);
    request.index = le16toh(setup.wIndex);
    request.length = le16toh(setup.wLength);
    const bool in = (setup.bRequestType & USB_DIR_IN) != 0;
    const bool reset =
        request.requestType == sim::kResetRequestType && request.request == sim::kResetRequest;
    const sim::ControlReply reply = front_.Control(request);
    Trace(Printf("setup type=0x%02x request=0x%02x value=%u index=%u length=%u -> %s",
                 request.requestType, request.request, request.value, request.index, request.length,
                 !reply ? "stall"
                 : in   ? ("data=" + Hex(reply->data(), reply->size())).c_str()
                        : "ok"));
    if (reply && reset) transfers_.ResetAccepted();
    std::uint8_t byte = 0;
    if (!reply) {
        // A transfer against the direction of the request stalls it.
        if (in)
            (void)!read(ep0_, &byte, 0);
        else
            (void)!write(ep0_, &byte, 0);
        return;
    }
    if (in)
        (void)!write(ep0_, reply->data(), std::min<std::size_t>(reply->size(), request.length));
    else
        (void)!read(ep0_, &byte, 0);  // the status stage
}

bool Server::HandleEp0(std::string& error) {
    usb_functionfs_event events[4];
    const ssize_t n = read(ep0_, events, sizeof events);
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) return true;
        error = "reading ep0 failed: " + std::string(std::strerror(errno));
        return false;
    }
    for (ssize_t i = 0; i < n / static_cast<ssize_t>(sizeof events[0]); ++i) {
        const usb_functionfs_event& event = events[i];
        switch (event.type) {
            case FUNCTIONFS_ENABLE:
                Trace("enable");
                transfers_.Enabled();
                break;
            case FUNCTIONFS_DISABLE:
                Trace("disable");
                transfers_.Disabled();
                if (hooks_.unpluggedOnDisable && hooks_.unpluggedOnDisable()) {
                    Trace("unplugged");
                    transfers_.Unplugged();
                }
                break;
            case FUNCTIONFS_UNBIND:
                // The gadget left the bus: the host lost the reader, and
                // with it the reader its power.
                Trace("unbind");
                transfers_.Disabled();
                transfers_.Unplugged();
                break;
            case FUNCTIONFS_SETUP:
                HandleSetup(event.u.setup);
                break;
            default:  // bind, suspend, resume
                break;
        }
    }
    return true;
}

bool Server::Run(std::string& error) {
    if (hooks_.ready && !hooks_.ready()) {
        error = "the gadget could not be bound";
        return false;
    }
    for (;;) {
        pollfd fds[3] = {
            {ep0_, POLLIN, 0}, {pipes_.completions(), POLLIN, 0}, {signals_.fd(), POLLIN, 0}};
        const int ready = poll(fds, 3, transfers_.HaltHeld() ? kHaltAgainMs : -1);
        if (ready < 0) {
            if (errno == EINTR) continue;
            error = "poll failed: " + std::string(std::strerror(errno));
            return false;
        }
        if (fds[2].revents != 0) {
            signals_.Take();
            break;
        }
        if (fds[1].revents & POLLIN) {
            pipes_.Reap([this](long result) { transfers_.Completed(result); });
            if (transfers_.failedInARow() > kMaxFailedTransfers) {
                error = "the bulk endpoints keep failing";
                return false;
            }
        }
        if ((fds[0].revents & POLLIN) && !HandleEp0(error)) return false;
        transfers_.HaltAgain();
    }
    transfers_.Disabled();
    return true;
}

}  // namespace

bool ServeFunctionFs(const std::string& dir, sim::UsbBulkOnlyFront& front, const ServerHooks& hooks,
                     std::string& error) {
    Server server(front, hooks);
    return server.Open(dir, error) && server.Run(error);
}

}  // namespace usbisp::reader
