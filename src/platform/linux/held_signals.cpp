#include "platform/linux/held_signals.h"

#include <pthread.h>

namespace usbisp::lnx {

HeldSignals::HeldSignals() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal : kHeldSignals) sigaddset(&held, signal);
    pthread_sigmask(SIG_BLOCK, &held, &before_);
}

HeldSignals::~HeldSignals() {
    pthread_sigmask(SIG_SETMASK, &before_, nullptr);
}

}  // namespace usbisp::lnx
