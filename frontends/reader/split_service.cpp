#include "reader/split_service.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace usbisp::reader {

namespace {

constexpr char kBindAsked = 'b';
constexpr char kBound = 'k';
constexpr char kNotBound = 'f';

void Complain(const std::string& what) {
    std::cerr << "usbisp-reader: " << what << std::endl;
}

[[noreturn]] void ChildEnds(int status) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    // The gadget is the parent's: no destructor of this process touches it.
    _exit(status);
}

}  // namespace

int ServeAsUser(Gadget& gadget, const ServiceUser& user,
                const std::function<int(const BindRequest& bind)>& serve) {
    int up[2], down[2];  // child to parent, parent to child
    if (pipe2(up, O_CLOEXEC) != 0 || pipe2(down, O_CLOEXEC) != 0) {
        Complain(std::string("cannot make the pipes to the serving process: ") +
                 std::strerror(errno));
        return 1;
    }
    // Held from before the fork, so that none is lost in between: the child
    // takes them through its own signalfd, the parent through this one. The
    // parent holds them to its end: a late one must not cut short the
    // gadget's removal.
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGINT);
    sigprocmask(SIG_BLOCK, &ending, nullptr);
    const int signals = signalfd(-1, &ending, SFD_CLOEXEC);
    std::cout.flush();
    std::cerr.flush();
    const pid_t child = signals < 0 ? -1 : fork();
    if (child == 0) {
        close(signals);
        close(up[0]);
        close(down[1]);
        std::string error;
        if (!DropTo(user, error)) {
            Complain(error);
            ChildEnds(1);
        }
        const BindRequest bind = [&](std::string& bindError) {
            char answer = 0;
            if (write(up[1], &kBindAsked, 1) == 1 && read(down[0], &answer, 1) == 1 &&
                answer == kBound)
                return true;
            bindError = "the gadget could not be bound";
            return false;
        };
        ChildEnds(serve(bind));
    }
    close(up[1]);
    close(down[0]);
    int status = 1;
    if (child < 0) {
        Complain(std::string("cannot start the serving process: ") + std::strerror(errno));
    } else {
        for (;;) {
            pollfd fds[2] = {{up[0], POLLIN, 0}, {signals, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                Complain(std::string("poll failed: ") + std::strerror(errno));
                kill(child, SIGTERM);
                break;
            }
            if (fds[1].revents & POLLIN) {
                signalfd_siginfo info{};
                if (read(signals, &info, sizeof info) == sizeof info) kill(child, SIGTERM);
            }
            if (fds[0].revents & (POLLIN | POLLHUP)) {
                char asked = 0;
                // End of file: the child has ended.
                if (read(up[0], &asked, 1) != 1) break;
                std::string error;
                const bool bound = asked == kBindAsked && gadget.Bind(error);
                if (!bound && !error.empty()) Complain(error);
                const char answer = bound ? kBound : kNotBound;
                (void)!write(down[1], &answer, 1);
            }
        }
        int raw = 0;
        while (waitpid(child, &raw, 0) < 0 && errno == EINTR) {
        }
        status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 1;
    }
    close(up[0]);
    close(down[1]);
    if (signals >= 0) close(signals);
    return status;
}

}  // namespace usbisp::reader
