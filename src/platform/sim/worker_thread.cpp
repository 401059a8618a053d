#include "platform/sim/worker_thread.h"

#if defined(_WIN32)
// The Windows build's compiler has no standard threads (its thread model is
// win32): a Windows thread and two events, all there since Windows 95.
#include <windows.h>
#else
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace usbisp::sim {

#if defined(_WIN32)

struct WorkerThread::Impl {
    HANDLE thread = nullptr;
    HANDLE start = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE finished = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    const std::function<void()>* task = nullptr;
    bool stop = false;

    static DWORD WINAPI Main(LPVOID self) {
        auto* impl = static_cast<Impl*>(self);
        for (;;) {
            WaitForSingleObject(impl->start, INFINITE);
            if (impl->stop) return 0;
            (*impl->task)();
            SetEvent(impl->finished);
        }
    }
    void Run(const std::function<void()>& work) {
        if (thread == nullptr) {
            DWORD id = 0;
            thread = CreateThread(nullptr, 0, Main, this, 0, &id);
        }
        task = &work;
        SetEvent(start);
        WaitForSingleObject(finished, INFINITE);
    }
    ~Impl() {
        if (thread != nullptr) {
            stop = true;
            SetEvent(start);
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
        }
        CloseHandle(start);
        CloseHandle(finished);
    }
};

#else

struct WorkerThread::Impl {
    std::mutex mutex;
    std::condition_variable changed;
    const std::function<void()>* task = nullptr;
    bool stop = false;
    std::thread thread;

    void Main() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return stop || task != nullptr; });
            if (stop) return;
            (*task)();
            task = nullptr;
            changed.notify_all();
        }
    }
    void Run(const std::function<void()>& work) {
        if (!thread.joinable()) thread = std::thread([this] { Main(); });
        std::unique_lock<std::mutex> lock(mutex);
        task = &work;
        changed.notify_all();
        changed.wait(lock, [this] { return task == nullptr; });
    }
    ~Impl() {
        if (!thread.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        changed.notify_all();
        thread.join();
    }
};

#endif

WorkerThread::WorkerThread() : impl_(std::make_unique<Impl>()) {}
WorkerThread::~WorkerThread() = default;

void WorkerThread::Run(const std::function<void()>& task) {
    impl_->Run(task);
}

}  // namespace usbisp::sim
