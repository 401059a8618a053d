// A thread of the bench's own that runs each task at its due time, on its
// own: nobody waits for it and nothing is handed over, so what a task writes
// reaches the program as a real library's completions do, with no ordering
// from the bench. Times are those of `now` (milliseconds of real time), and
// tasks run in the order of their due times, those due together in the order
// they came. Ending it drops the tasks not yet run, as the end of a process
// stops its threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace usbisp::sim {

class TimedThread {
  public:
    explicit TimedThread(std::function<std::uint64_t()> now);
    ~TimedThread();
    TimedThread(const TimedThread&) = delete;
    TimedThread& operator=(const TimedThread&) = delete;

    void Post(std::uint64_t due, std::function<void()> task);
    // Tasks posted and not yet run to their end.
    std::size_t Waiting() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace usbisp::sim
