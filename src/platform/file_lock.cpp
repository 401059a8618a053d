#include "platform/file_lock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

#include "platform/printf_text.h"

namespace usbisp {

namespace {

// A note is shown to an operator: printable characters only.
std::string HeldBy(const char* bytes, std::size_t size) {
    std::string text;
    for (std::size_t i = 0; i < size && bytes[i] != '\0'; ++i)
        if (bytes[i] >= 0x20 && bytes[i] < 0x7F) text += bytes[i];
    // A holder that has not written its note yet.
    return "held by " + (text.empty() ? std::string("another program") : text);
}

#ifdef _WIN32

class SharedForReading : public FileLock {
  public:
    explicit SharedForReading(HANDLE file) : file_(file) {}
    ~SharedForReading() override { ::CloseHandle(file_); }

  private:
    HANDLE file_;
};

std::string ReadNote(const std::string& path) {
    // The holder shares the file with readers, and a reader must share it
    // with the holder's writing in turn.
    const HANDLE file =
        ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    char bytes[kLockNoteMax];
    DWORD read = 0;
    if (file != INVALID_HANDLE_VALUE) {
        if (!::ReadFile(file, bytes, sizeof bytes, &read, nullptr)) read = 0;
        ::CloseHandle(file);
    }
    return HeldBy(bytes, read);
}

std::unique_ptr<FileLock> TakeLockFileImpl(const std::string& path, const std::string& note,
                                           std::string& holder) {
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        holder = error == ERROR_SHARING_VIOLATION
                     ? ReadNote(path)
                     : Printf("%s cannot be opened (error %lu)", path.c_str(),
                              static_cast<unsigned long>(error));
        return nullptr;
    }
    const std::string text =
        note + Printf(", process %lu", static_cast<unsigned long>(::GetCurrentProcessId()));
    DWORD written = 0;
    ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    ::SetEndOfFile(file);
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return std::make_unique<SharedForReading>(file);
}

#else

class Flocked : public FileLock {
  public:
    explicit Flocked(int fd) : fd_(fd) {}
    ~Flocked() override { ::close(fd_); }

  private:
    int fd_;
};

std::unique_ptr<FileLock> TakeLockFileImpl(const std::string& path, const std::string& note,
                                           std::string& holder) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        holder = path + " cannot be opened: " + std::strerror(errno);
        return nullptr;
    }
    // flock, not fcntl: a lock of its own per open, so that two holders in
    // one process (two benches in a test) exclude each other as two
    // processes do.
    int locked;
    while ((locked = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
        const int error = errno;
        char bytes[kLockNoteMax];
        const ssize_t n = ::pread(fd, bytes, sizeof bytes, 0);
        holder = error == EWOULDBLOCK ? HeldBy(bytes, n > 0 ? static_cast<std::size_t>(n) : 0)
                                      : path + " cannot be locked: " + std::strerror(error);
        ::close(fd);
        return nullptr;
    }
    const std::string text = note + Printf(", process %ld", static_cast<long>(::getpid()));
    // Without its note the lock holds all the same; a refused taker then
    // names no one.
    if (::ftruncate(fd, 0) == 0) (void)!::pwrite(fd, text.data(), text.size(), 0);
    return std::make_unique<Flocked>(fd);
}

#endif

}  // namespace

std::unique_ptr<FileLock> TakeLockFile(const std::string& path, const std::string& note,
                                       std::string& holder) {
    holder.clear();
    return TakeLockFileImpl(path, note, holder);
}

}  // namespace usbisp
