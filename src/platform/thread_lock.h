// A lock between the program's thread and the threads a library calls back
// on (ASPI's completion routine). The Windows build's compiler has no
// standard threads (its thread model is win32): there it is a critical
// section, elsewhere a std::mutex.
#pragma once

#include <memory>

namespace usbisp {

class ThreadLock {
  public:
    ThreadLock();
    ~ThreadLock();
    ThreadLock(const ThreadLock&) = delete;
    ThreadLock& operator=(const ThreadLock&) = delete;

    void lock();
    void unlock();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Holds a ThreadLock for its scope.
class Locked {
  public:
    explicit Locked(ThreadLock& lock) : lock_(lock) { lock_.lock(); }
    ~Locked() { lock_.unlock(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

  private:
    ThreadLock& lock_;
};

}  // namespace usbisp
