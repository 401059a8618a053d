// The operator's signals at the station: INT (Ctrl-C), TERM and HUP (the
// terminal closed) ask what q asks on the board (no further reader; the runs
// under way go to their end, the summary is written). A second one ends the
// station at once, by that signal, as the shell's 128+n says.
#pragma once

#include <atomic>
#include <csignal>
#include <functional>
#include <thread>

namespace usbisp::station {

class StopSignals {
  public:
    // Blocks INT, TERM and HUP in this thread, and so in every thread it
    // starts from now on, and takes them on a thread of its own: the first
    // calls `stop` there. Create it before the station's threads.
    explicit StopSignals(std::function<void()> stop);
    // The signals come back as they were (pending ones are dropped).
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The signal that asked the station to stop; 0 while none has.
    int first() const { return first_; }

  private:
    void Watch();

    std::function<void()> stop_;
    sigset_t previous_{};
    int signals_ = -1;  // a signalfd
    int quit_[2] = {-1, -1};
    std::atomic<int> first_{0};
    std::thread watcher_;
};

}  // namespace usbisp::station
