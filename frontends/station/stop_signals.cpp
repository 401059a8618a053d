#include "station/stop_signals.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace usbisp::station {

namespace {

sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

// The second signal: this thread lets it through to itself, so that its
// handler runs (the board's gives the terminal back first) and the process
// ends by it. A handler that returns is not the end the operator asked for.
[[noreturn]] void EndBy(int signal) {
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    ::raise(signal);
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    ::sigaction(signal, &byDefault, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);
}

}  // namespace

StopSignals::StopSignals(std::function<void()> stop) : stop_(std::move(stop)) {
    const sigset_t set = StopSet();
    ::pthread_sigmask(SIG_BLOCK, &set, &previous_);
    signals_ = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (::pipe2(quit_, O_CLOEXEC | O_NONBLOCK) != 0) quit_[0] = quit_[1] = -1;
    if (signals_ >= 0 && quit_[0] >= 0) watcher_ = std::thread([this] { Watch(); });
}

StopSignals::~StopSignals() {
    if (watcher_.joinable()) {
        const char byte = 1;
        ssize_t written = ::write(quit_[1], &byte, 1);
        (void)written;
        watcher_.join();
    }
    if (signals_ >= 0) {
        // What came after the watcher left goes with it.
        signalfd_siginfo info{};
        while (::read(signals_, &info, sizeof info) == sizeof info) {
        }
        ::close(signals_);
    }
    for (int fd : quit_)
        if (fd >= 0) ::close(fd);
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void StopSignals::Watch() {
    for (;;) {
        pollfd fds[2] = {{signals_, POLLIN, 0}, {quit_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents != 0) return;
        signalfd_siginfo info{};
        while (::read(signals_, &info, sizeof info) == sizeof info) {
            const int signal = static_cast<int>(info.ssi_signo);
            if (first_ != 0) EndBy(signal);
            first_ = signal;
            if (stop_) stop_();
        }
    }
}

}  // namespace usbisp::station
