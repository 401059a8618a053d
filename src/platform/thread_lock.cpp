#include "platform/thread_lock.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <mutex>
#endif

namespace usbisp {

#if defined(_WIN32)

struct ThreadLock::Impl {
    CRITICAL_SECTION section;
    Impl() { InitializeCriticalSection(&section); }
    ~Impl() { DeleteCriticalSection(&section); }
};

void ThreadLock::lock() {
    EnterCriticalSection(&impl_->section);
}

void ThreadLock::unlock() {
    LeaveCriticalSection(&impl_->section);
}

#else

struct ThreadLock::Impl {
    std::mutex mutex;
};

void ThreadLock::lock() {
    impl_->mutex.lock();
}

void ThreadLock::unlock() {
    impl_->mutex.unlock();
}

#endif

ThreadLock::ThreadLock() : impl_(std::make_unique<Impl>()) {}

ThreadLock::~ThreadLock() = default;

}  // namespace usbisp
