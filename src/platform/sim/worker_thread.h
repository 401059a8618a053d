// A thread of the bench's own, on which it runs what the emulated machine does
// on threads of its own (ASPI's completion routines). Run hands it one task
// and returns once the task has run, so what the bench does stays in a fixed
// order while the task really runs on another thread.
#pragma once

#include <functional>
#include <memory>

namespace usbisp::sim {

class WorkerThread {
  public:
    WorkerThread();
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // The thread starts with the first task.
    void Run(const std::function<void()>& task);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace usbisp::sim
