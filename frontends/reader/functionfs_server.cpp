#include "reader/functionfs_server.h"

#include <endian.h>
#include <fcntl.h>
#include <linux/aio_abi.h>
#include <linux/usb/functionfs.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>

#include "platform/byte_order.h"
#include "platform/printf_text.h"
#include "reader/functionfs_blobs.h"

namespace usbisp::reader {

namespace {

using sim::BulkStep;

// A command block wrapper comes as one short transfer: a read of a whole
// high-speed packet sees a wrapper that is too long as such.
constexpr std::size_t kCommandRead = 512;
constexpr std::size_t kBufferSize = 65536 + 512;
// Consecutive transfers that fail while the function is enabled before the
// service gives up.
constexpr int kMaxFailedTransfers = 1000;

long IoSetup(unsigned events, aio_context_t* context) {
    return syscall(__NR_io_setup, events, context);
}
long IoDestroy(aio_context_t context) {
    return syscall(__NR_io_destroy, context);
}
long IoSubmit(aio_context_t context, iocb* block) {
    iocb* blocks[1] = {block};
    return syscall(__NR_io_submit, context, 1L, blocks);
}
long IoCancel(aio_context_t context, iocb* block, io_event* result) {
    return syscall(__NR_io_cancel, context, block, result);
}
long IoGetEvents(aio_context_t context, io_event* events, long max) {
    timespec none{0, 0};
    return syscall(__NR_io_getevents, context, 0L, max, events, &none);
}

std::string Hex(const std::uint8_t* bytes, std::size_t n) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) text += Printf("%02x", bytes[i]);
    return text;
}

class Server {
  public:
    Server(sim::UsbBulkOnlyFront& front, const ServerHooks& hooks) : front_(front), hooks_(hooks) {}
    ~Server();

    bool Open(const std::string& dir, std::string& error);
    bool Run(std::string& error);

  private:
    enum class Transfer { ReadCommand, ReadData, WriteData, WriteStatus };

    bool HandleEp0(std::string& error);
    void HandleSetup(const usb_ctrlrequest& setup);
    bool HandleCompletion(std::string& error);
    void Completed(long result);
    void Submit(Transfer kind, int fd, std::uint16_t opcode, std::size_t length);
    void ReadCommand() { Submit(Transfer::ReadCommand, out_, IOCB_CMD_PREAD, kCommandRead); }
    void RunSteps();
    // Takes back the transfer in flight; the next one starts when its
    // completion has come.
    void Abandon();
    void Trace(const std::string& text);

    sim::UsbBulkOnlyFront& front_;
    const ServerHooks& hooks_;
    int ep0_ = -1, in_ = -1, out_ = -1, events_ = -1, signals_ = -1;
    aio_context_t context_ = 0;
    iocb block_{};
    bool inFlight_ = false;
    bool abandoned_ = false;
    bool enabled_ = false;
    Transfer kind_ = Transfer::ReadCommand;
    int failures_ = 0;
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(kBufferSize);
    std::deque<BulkStep> steps_;
    std::string traceLine_;
};

Server::~Server() {
    if (context_ != 0) IoDestroy(context_);
    for (int fd : {in_, out_, ep0_, events_, signals_})
        if (fd >= 0) close(fd);
}

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
    // The endpoint files exist once the descriptors are written, in the
    // order of the endpoint descriptors: bulk-in, then bulk-out.
    in_ = open((dir + "/ep1").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    out_ = open((dir + "/ep2").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (in_ < 0 || out_ < 0) {
        error = "cannot open the endpoints in " + dir + ": " + std::strerror(errno);
        return false;
    }
    events_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGINT);
    sigprocmask(SIG_BLOCK, &ending, nullptr);
    signals_ = signalfd(-1, &ending, SFD_NONBLOCK | SFD_CLOEXEC);
    if (events_ < 0 || signals_ < 0 || IoSetup(4, &context_) != 0) {
        error = "cannot set up asynchronous I/O: " + std::string(std::strerror(errno));
        return false;
    }
    return true;
}

void Server::Trace(const std::string& text) {
    if (hooks_.trace) traceLine_ += text;
}

void Server::Submit(Transfer kind, int fd, std::uint16_t opcode, std::size_t length) {
    block_ = {};
    block_.aio_fildes = static_cast<std::uint32_t>(fd);
    block_.aio_lio_opcode = opcode;
    block_.aio_buf = reinterpret_cast<std::uint64_t>(buffer_.data());
    block_.aio_nbytes = length;
    block_.aio_flags = IOCB_FLAG_RESFD;
    block_.aio_resfd = static_cast<std::uint32_t>(events_);
    kind_ = kind;
    if (IoSubmit(context_, &block_) == 1) {
        inFlight_ = true;
        return;
    }
    // Refused at once (the function was disabled meanwhile): the command is
    // lost, and the next starts at the next enable.
    inFlight_ = false;
    steps_.clear();
    front_.Reset();
}

void Server::RunSteps() {
    while (!steps_.empty()) {
        BulkStep step = std::move(steps_.front());
        steps_.pop_front();
        switch (step.kind) {
            case BulkStep::Kind::SendData:
                Trace(" in=" + std::to_string(step.bytes.size()));
                std::copy(step.bytes.begin(), step.bytes.end(), buffer_.begin());
                Submit(Transfer::WriteData, in_, IOCB_CMD_PWRITE, step.bytes.size());
                return;
            case BulkStep::Kind::ReceiveData:
                Trace(" out=" + std::to_string(step.length));
                Submit(Transfer::ReadData, out_, IOCB_CMD_PREAD, step.length);
                return;
            case BulkStep::Kind::StallIn: {
                // FunctionFS halts an endpoint that is asked to move data the
                // other way.
                Trace(" stall-in");
                std::uint8_t byte = 0;
                (void)!read(in_, &byte, 1);
                break;
            }
            case BulkStep::Kind::StallOut: {
                Trace(" stall-out");
                std::uint8_t byte = 0;
                (void)!write(out_, &byte, 1);
                break;
            }
            case BulkStep::Kind::SendStatus:
                Trace(Printf(" status=%d residue=%u", step.bytes[12], GetLe32(&step.bytes[8])));
                if (hooks_.trace && !traceLine_.empty()) hooks_.trace(traceLine_);
                traceLine_.clear();
                std::copy(step.bytes.begin(), step.bytes.end(), buffer_.begin());
                Submit(Transfer::WriteStatus, in_, IOCB_CMD_PWRITE, step.bytes.size());
                return;
        }
    }
    // Nothing more to move (a wrapper that was not one): wait for the next.
    ReadCommand();
}

void Server::Abandon() {
    steps_.clear();
    traceLine_.clear();
    if (!inFlight_ || abandoned_) return;
    io_event ignored{};
    IoCancel(context_, &block_, &ignored);
    abandoned_ = true;
}

void Server::Completed(long result) {
    inFlight_ = false;
    if (abandoned_) {
        abandoned_ = false;
        if (enabled_) ReadCommand();
        return;
    }
    if (result < 0) {
        // The transfer failed (a reset of the bus took it back): the
        // command is lost; the host starts again with a new one.
        steps_.clear();
        traceLine_.clear();
        front_.Reset();
        ++failures_;
        if (enabled_) ReadCommand();
        return;
    }
    failures_ = 0;
    switch (kind_) {
        case Transfer::ReadCommand:
        case Transfer::ReadData: {
            const std::vector<std::uint8_t> transfer(buffer_.begin(), buffer_.begin() + result);
            if (kind_ == Transfer::ReadCommand && hooks_.trace) {
                if (transfer.size() == sim::kCommandWrapperLength) {
                    traceLine_ = Printf("lun=%d len=%u dir=%s cb=", transfer[13],
                                        GetLe32(&transfer[8]), transfer[12] & 0x80 ? "in" : "out") +
                                 Hex(&transfer[15], std::min<std::size_t>(transfer[14], 16));
                } else {
                    traceLine_ = "transfer of " + std::to_string(transfer.size()) + " bytes";
                }
            }
            for (auto& step : front_.Received(transfer)) steps_.push_back(std::move(step));
            RunSteps();
            return;
        }
        case Transfer::WriteData:
            RunSteps();
            return;
        case Transfer::WriteStatus:
            if (hooks_.afterCommand) hooks_.afterCommand();
            ReadCommand();
            return;
    }
}

bool Server::HandleCompletion(std::string& error) {
    std::uint64_t count = 0;
    (void)!read(events_, &count, sizeof count);
    io_event done[4];
    const long n = IoGetEvents(context_, done, 4);
    for (long i = 0; i < n; ++i) Completed(static_cast<long>(done[i].res));
    if (failures_ > kMaxFailedTransfers) {
        error = "the bulk endpoints keep failing";
        return false;
    }
    return true;
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
    if (hooks_.trace)
        hooks_.trace(Printf("setup type=0x%02x request=0x%02x value=%u index=%u length=%u -> %s",
                            request.requestType, request.request, request.value, request.index,
                            request.length,
                            !reply ? "stall"
                            : in   ? ("data=" + Hex(reply->data(), reply->size())).c_str()
                                   : "ok"));
    if (reply && reset) Abandon();
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
        (void)!write(ep0_, reply->data(), reply->size());
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
                if (hooks_.trace) hooks_.trace("enable");
                enabled_ = true;
                front_.Reset();
                Abandon();
                if (!inFlight_) ReadCommand();
                break;
            case FUNCTIONFS_DISABLE:
                if (hooks_.trace) hooks_.trace("disable");
                enabled_ = false;
                Abandon();
                front_.Reset();
                if (hooks_.unpluggedOnDisable && hooks_.unpluggedOnDisable()) {
                    if (hooks_.trace) hooks_.trace("unplugged");
                    front_.Unplugged();
                    if (hooks_.afterCommand) hooks_.afterCommand();
                }
                break;
            case FUNCTIONFS_UNBIND:
                // The gadget left the bus: the host lost the reader, and
                // with it the reader its power.
                if (hooks_.trace) hooks_.trace("unbind");
                enabled_ = false;
                Abandon();
                front_.Unplugged();
                if (hooks_.afterCommand) hooks_.afterCommand();
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
        pollfd fds[3] = {{ep0_, POLLIN, 0}, {events_, POLLIN, 0}, {signals_, POLLIN, 0}};
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            error = "poll failed: " + std::string(std::strerror(errno));
            return false;
        }
        if (fds[2].revents != 0) break;
        if ((fds[1].revents & POLLIN) && !HandleCompletion(error)) return false;
        if ((fds[0].revents & POLLIN) && !HandleEp0(error)) return false;
    }
    Abandon();
    return true;
}

}  // namespace

bool ServeFunctionFs(const std::string& dir, sim::UsbBulkOnlyFront& front, const ServerHooks& hooks,
                     std::string& error) {
    Server server(front, hooks);
    return server.Open(dir, error) && server.Run(error);
}

}  // namespace usbisp::reader
