#include "reader/functionfs_aio.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace usbisp::reader {

namespace {

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

std::string Failed(const std::string& step) {
    return step + ": " + std::strerror(errno);
}

}  // namespace

AioPipes::~AioPipes() {
    if (context_ != 0) IoDestroy(context_);
    for (int fd : {in_, out_, events_})
        if (fd >= 0) close(fd);
}

bool AioPipes::Open(const std::string& dir, std::string& error) {
    // In the order of the endpoint descriptors: bulk-in, then bulk-out.
    in_ = open((dir + "/ep1").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (in_ < 0) {
        error = Failed("cannot open the endpoints in " + dir + " (ep1)");
        return false;
    }
    out_ = open((dir + "/ep2").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (out_ < 0) {
        error = Failed("cannot open the endpoints in " + dir + " (ep2)");
        return false;
    }
    events_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (events_ < 0) {
        error = Failed("cannot set up asynchronous I/O (eventfd)");
        return false;
    }
    if (IoSetup(4, &context_) != 0) {
        context_ = 0;
        error = Failed("cannot set up asynchronous I/O (io_setup)");
        return false;
    }
    return true;
}

bool AioPipes::Start(Pipe pipe, std::uint8_t* buffer, std::size_t length) {
    block_ = {};
    block_.aio_fildes = static_cast<std::uint32_t>(pipe == Pipe::In ? in_ : out_);
    block_.aio_lio_opcode = pipe == Pipe::In ? IOCB_CMD_PWRITE : IOCB_CMD_PREAD;
    block_.aio_buf = reinterpret_cast<std::uint64_t>(buffer);
    block_.aio_nbytes = length;
    block_.aio_flags = IOCB_FLAG_RESFD;
    block_.aio_resfd = static_cast<std::uint32_t>(events_);
    return IoSubmit(context_, &block_) == 1;
}

void AioPipes::Cancel() {
    io_event ignored{};
    IoCancel(context_, &block_, &ignored);
}

void AioPipes::Halt(Pipe pipe) {
    // FunctionFS halts an endpoint that is asked to move data the other way.
    std::uint8_t byte = 0;
    if (pipe == Pipe::In)
        (void)!read(in_, &byte, 1);
    else
        (void)!write(out_, &byte, 1);
}

void AioPipes::Reap(const std::function<void(long)>& done) {
    std::uint64_t count = 0;
    (void)!read(events_, &count, sizeof count);
    io_event events[4];
    const long n = IoGetEvents(context_, events, 4);
    for (long i = 0; i < n; ++i) done(static_cast<long>(events[i].res));
}

EndingSignals::~EndingSignals() {
    if (fd_ >= 0) close(fd_);
    if (held_) sigprocmask(SIG_SETMASK, &before_, nullptr);
}

void EndingSignals::Take() {
    signalfd_siginfo info{};
    (void)!read(fd_, &info, sizeof info);
}

bool EndingSignals::Open(std::string& error) {
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGINT);
    if (sigprocmask(SIG_BLOCK, &ending, &before_) != 0) {
        error = Failed("cannot hold SIGTERM and SIGINT (sigprocmask)");
        return false;
    }
    held_ = true;
    fd_ = signalfd(-1, &ending, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd_ < 0) {
        error = Failed("cannot set up asynchronous I/O (signalfd)");
        return false;
    }
    return true;
}

}  // namespace usbisp::reader
