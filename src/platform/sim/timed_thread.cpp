#include "platform/sim/timed_thread.h"

#include <algorithm>
#include <vector>

#if defined(_WIN32)
// The Windows build's compiler has no standard threads (its thread model is
// win32): a Windows thread, an event and a critical section.
#include <windows.h>
#else
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace usbisp::sim {

namespace {

struct TimedTask {
    std::uint64_t due = 0;
    std::uint64_t order = 0;
    std::function<void()> run;
};

// The task to run first, and how long until it is due (0: now).
std::vector<TimedTask>::iterator Earliest(std::vector<TimedTask>& tasks) {
    return std::min_element(tasks.begin(), tasks.end(), [](const TimedTask& a, const TimedTask& b) {
        return a.due != b.due ? a.due < b.due : a.order < b.order;
    });
}

}  // namespace

#if defined(_WIN32)

struct TimedThread::Impl {
    explicit Impl(std::function<std::uint64_t()> clock) : now(std::move(clock)) {
        InitializeCriticalSection(&lock);
    }
    ~Impl() {
        if (thread != nullptr) {
            EnterCriticalSection(&lock);
            stop = true;
            LeaveCriticalSection(&lock);
            SetEvent(changed);
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
        }
        CloseHandle(changed);
        DeleteCriticalSection(&lock);
    }

    static DWORD WINAPI Main(LPVOID self) {
        auto* impl = static_cast<Impl*>(self);
        EnterCriticalSection(&impl->lock);
        while (!impl->stop) {
            DWORD wait = INFINITE;
            if (!impl->tasks.empty()) {
                auto first = Earliest(impl->tasks);
                const std::uint64_t time = impl->now();
                if (first->due <= time) {
                    TimedTask task = std::move(*first);
                    impl->tasks.erase(first);
                    ++impl->running;
                    LeaveCriticalSection(&impl->lock);
                    task.run();
                    EnterCriticalSection(&impl->lock);
                    --impl->running;
                    continue;
                }
                wait = static_cast<DWORD>(std::min<std::uint64_t>(first->due - time, 1000));
            }
            LeaveCriticalSection(&impl->lock);
            WaitForSingleObject(impl->changed, wait);
            EnterCriticalSection(&impl->lock);
        }
        LeaveCriticalSection(&impl->lock);
        return 0;
    }
    void Post(std::uint64_t due, std::function<void()> run) {
        EnterCriticalSection(&lock);
        tasks.push_back({due, next++, std::move(run)});
        if (thread == nullptr) {
            DWORD id = 0;
            thread = CreateThread(nullptr, 0, Main, this, 0, &id);
        }
        LeaveCriticalSection(&lock);
        SetEvent(changed);
    }
    std::size_t Waiting() {
        EnterCriticalSection(&lock);
        const std::size_t n = tasks.size() + running;
        LeaveCriticalSection(&lock);
        return n;
    }

    std::function<std::uint64_t()> now;
    CRITICAL_SECTION lock;
    HANDLE changed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = nullptr;
    std::vector<TimedTask> tasks;
    std::uint64_t next = 0;
    std::size_t running = 0;
    bool stop = false;
};

#else

struct TimedThread::Impl {
    explicit Impl(std::function<std::uint64_t()> clock) : now(std::move(clock)) {}
    ~Impl() {
        {
            std::lock_guard<std::mutex> guard(mutex);
            stop = true;
        }
        changed.notify_all();
        if (thread.joinable()) thread.join();
    }

    void Main() {
        std::unique_lock<std::mutex> lock(mutex);
        while (!stop) {
            if (tasks.empty()) {
                changed.wait(lock);
                continue;
            }
            auto first = Earliest(tasks);
            const std::uint64_t time = now();
            if (first->due > time) {
                changed.wait_for(lock, std::chrono::milliseconds(first->due - time));
                continue;
            }
            TimedTask task = std::move(*first);
            tasks.erase(first);
            ++running;
            // Run without the lock: the program never waits on it, and what
            // the task writes must reach the program unordered.
            lock.unlock();
            task.run();
            lock.lock();
            --running;
        }
    }
    void Post(std::uint64_t due, std::function<void()> run) {
        {
            std::lock_guard<std::mutex> guard(mutex);
            tasks.push_back({due, next++, std::move(run)});
            if (!thread.joinable()) thread = std::thread([this] { Main(); });
        }
        changed.notify_all();
    }
    std::size_t Waiting() {
        std::lock_guard<std::mutex> guard(mutex);
        return tasks.size() + running;
    }

    std::function<std::uint64_t()> now;
    std::mutex mutex;
    std::condition_variable changed;
    std::thread thread;
    std::vector<TimedTask> tasks;
    std::uint64_t next = 0;
    std::size_t running = 0;
    bool stop = false;
};

#endif

TimedThread::TimedThread(std::function<std::uint64_t()> now)
    : impl_(std::make_unique<Impl>(std::move(now))) {}
TimedThread::~TimedThread() = default;

void TimedThread::Post(std::uint64_t due, std::function<void()> task) {
    impl_->Post(due, std::move(task));
}

std::size_t TimedThread::Waiting() const {
    return impl_->Waiting();
}

}  // namespace usbisp::sim
