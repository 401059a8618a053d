// The bench's clock for a station run. Every reader runs the core's flows on
// a thread of its own, as on real readers, but only one thread runs at a
// time: a reader's run goes on until it waits, then the earliest of the
// readers and timed actions that fall due next takes over, and the clock jumps
// to that moment. Ties go in the order they were set. Readers thus overlap on
// the clock exactly as in parallel, and a run prints the same every time.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

#include "station/station_time.h"

namespace usbisp::station {

class VirtualTime : public StationTime {
  public:
    // `start`: the local time at 0 ms. `realtime`: the clock does not jump but
    // waits as long as it moves, so that an operator can watch the board.
    VirtualTime(const LocalTime& start, bool realtime);
    ~VirtualTime() override;
    VirtualTime(const VirtualTime&) = delete;
    VirtualTime& operator=(const VirtualTime&) = delete;

    std::uint64_t NowMs() override;
    LocalTime Local() override;
    // Inside a task: lets the others run until `milliseconds` have passed.
    void Sleep(std::uint32_t milliseconds) override;

    // `action` runs on the thread of Run() at `atMs` (not before now).
    // Callable from Run()'s actions and from tasks.
    void At(std::uint64_t atMs, std::function<void()> action);
    // `task` starts now on a thread of its own.
    void Spawn(std::function<void()> task);
    // Runs actions and tasks until nothing is due any more.
    void Run();

  private:
    struct Task;
    struct Due {
        std::uint64_t time = 0;
        std::uint64_t order = 0;
        Task* task = nullptr;  // a task to resume, or
        std::function<void()> action;
    };
    struct Later {
        bool operator()(const Due& a, const Due& b) const {
            return a.time != b.time ? a.time > b.time : a.order > b.order;
        }
    };

    void Push(std::uint64_t time, Task* task, std::function<void()> action);
    // Hands the turn to `task` and waits until it has waited or ended.
    void Resume(Task* task);
    void JoinEnded();

    const LocalTime start_;
    const bool realtime_;
    std::mutex mutex_;
    std::condition_variable turn_;  // Run()'s turn
    std::uint64_t now_ = 0;
    std::uint64_t nextOrder_ = 0;
    std::priority_queue<Due, std::vector<Due>, Later> due_;
    std::vector<std::unique_ptr<Task>> tasks_;
    Task* running_ = nullptr;  // none: Run() has the turn
};

}  // namespace usbisp::station
