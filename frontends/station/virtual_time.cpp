#include "station/virtual_time.h"

#include <chrono>

#include "platform/sim/bench.h"

namespace usbisp::station {

struct VirtualTime::Task {
    std::thread thread;
    // Its own, so that a turn wakes the one thread it is for.
    std::condition_variable turn;
    bool ended = false;
};

namespace {

// The task whose thread this is; Sleep finds its own entry here.
thread_local void* currentTask = nullptr;

}  // namespace

VirtualTime::VirtualTime(const LocalTime& start, bool realtime)
    : start_(start), realtime_(realtime) {}

VirtualTime::~VirtualTime() {
    // Run() ends only when every task has ended; tasks spawned after it (or
    // without it) are run to their end here rather than left waiting.
    Run();
}

std::uint64_t VirtualTime::NowMs() {
    std::lock_guard<std::mutex> lock(mutex_);
    return now_;
}

LocalTime VirtualTime::Local() {
    return sim::LocalTimeAfter(start_, NowMs());
}

void VirtualTime::Push(std::uint64_t time, Task* task, std::function<void()> action) {
    due_.push(Due{time, nextOrder_++, task, std::move(action)});
}

void VirtualTime::At(std::uint64_t atMs, std::function<void()> action) {
    std::lock_guard<std::mutex> lock(mutex_);
    Push(atMs < now_ ? now_ : atMs, nullptr, std::move(action));
}

void VirtualTime::Spawn(std::function<void()> body) {
    auto owned = std::make_unique<Task>();
    Task* task = owned.get();
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(owned));
    task->thread = std::thread([this, task, body = std::move(body)] {
        {
            std::unique_lock<std::mutex> wait(mutex_);
            task->turn.wait(wait, [&] { return running_ == task; });
        }
        currentTask = task;
        body();
        std::lock_guard<std::mutex> done(mutex_);
        task->ended = true;
        running_ = nullptr;
        turn_.notify_one();
    });
    Push(now_, task, {});
}

void VirtualTime::Sleep(std::uint32_t milliseconds) {
    Task* task = static_cast<Task*>(currentTask);
    std::unique_lock<std::mutex> lock(mutex_);
    Push(now_ + milliseconds, task, {});
    running_ = nullptr;
    turn_.notify_one();
    task->turn.wait(lock, [&] { return running_ == task; });
}

void VirtualTime::Resume(Task* task) {
    std::unique_lock<std::mutex> lock(mutex_);
    running_ = task;
    task->turn.notify_one();
    turn_.wait(lock, [&] { return running_ == nullptr; });
}

void VirtualTime::JoinEnded() {
    std::vector<std::unique_ptr<Task>> ended;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = tasks_.begin(); it != tasks_.end();) {
            if ((*it)->ended) {
                ended.push_back(std::move(*it));
                it = tasks_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& task : ended) task->thread.join();
}

void VirtualTime::Run() {
    const auto realStart = std::chrono::steady_clock::now();
    for (;;) {
        Due next;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (due_.empty()) break;
            next = due_.top();
            due_.pop();
        }
        if (realtime_)
            std::this_thread::sleep_until(realStart + std::chrono::milliseconds(next.time));
        {
            std::lock_guard<std::mutex> lock(mutex_);
            now_ = next.time;
        }
        if (next.task) {
            Resume(next.task);
            JoinEnded();
        } else {
            next.action();
        }
    }
}

}  // namespace usbisp::station
