#include "station/production_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace usbisp::station {

namespace {

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A new file's name is on the disk only once its directory is.
void SyncDirectory(const std::string& directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

ProductionLog::~ProductionLog() {
    if (fd_ >= 0) ::close(fd_);
}

bool ProductionLog::Open(const std::string& path, std::string& error) {
    path_ = path;
    fd_ = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        error = path + ": cannot open the production log: " + std::strerror(errno);
        return false;
    }
    SyncDirectory(DirectoryOf(path));
    // A line cut short by a crash is ended, so that the next line stands on
    // its own.
    struct stat info {};
    char last = '\n';
    if (::fstat(fd_, &info) == 0 && info.st_size > 0 &&
        ::pread(fd_, &last, 1, info.st_size - 1) == 1 && last != '\n' && !WriteAll("\n")) {
        error = path + ": cannot write the production log: " + std::strerror(errno);
        return false;
    }
    return true;
}

bool ProductionLog::WriteAll(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool ProductionLog::Append(const std::string& line) {
    return AppendLines({line});
}

bool ProductionLog::AppendLines(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines) bytes += line + "\n";
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ < 0) return false;
    struct stat info {};
    const bool regular = ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode);
    // One write, so that no other line can come between their parts.
    if (WriteAll(bytes) && ::fsync(fd_) == 0) return true;
    // A short write (a full disk) is cut off again: the next line must not
    // be appended to a fragment, and no line stands half in the log.
    if (regular && ::ftruncate(fd_, info.st_size) == 0) ::fsync(fd_);
    return false;
}

std::vector<std::string> ProductionLog::ReadLines() const {
    std::vector<std::string> lines;
    // A log that is no file (a device, a pipe) keeps nothing to read back,
    // and may never end.
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) return lines;
    std::ifstream in(path_, std::ios::binary);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

}  // namespace usbisp::station
