// The signals of the terminal held back while a request is with a device.
// The terminal window catches SIGWINCH (a resize) and SIGTSTP (Ctrl-Z), and
// SIGTTIN and SIGTTOU stop a background job: none of them may end or repeat
// the wait for a command that the device is carrying out. Held, they stay
// pending and arrive as soon as the request is over: the window redraws or
// the program stops then.
#pragma once

#include <signal.h>

#include <array>

namespace usbisp::lnx {

inline constexpr std::array<int, 4> kHeldSignals = {SIGWINCH, SIGTSTP, SIGTTIN, SIGTTOU};

class HeldSignals {
  public:
    HeldSignals();
    ~HeldSignals();
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;

  private:
    sigset_t before_{};
};

}  // namespace usbisp::lnx
