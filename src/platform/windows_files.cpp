#include "platform/windows_files.h"

#include <sys/stat.h>

#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>
#endif

#include "platform/ascii_case.h"

namespace usbisp {

namespace {

constexpr char kCtrlZ = 0x1A;

bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

#ifndef _WIN32

bool TextMode(const char* mode) {
    return std::strchr(mode, 'b') == nullptr;
}

bool ReadOnly(const char* mode) {
    return mode[0] == 'r' && std::strchr(mode, '+') == nullptr;
}

// A read-only stream over text already read whole: the file's bytes as text
// mode delivers them.
struct TextStream {
    std::string text;
    std::size_t position = 0;
};

ssize_t TextRead(void* cookie, char* buffer, std::size_t size) {
    auto* stream = static_cast<TextStream*>(cookie);
    const std::size_t n = std::min(size, stream->text.size() - stream->position);
    std::memcpy(buffer, stream->text.data() + stream->position, n);
    stream->position += n;
    return static_cast<ssize_t>(n);
}

int TextSeek(void* cookie, off64_t* offset, int whence) {
    auto* stream = static_cast<TextStream*>(cookie);
    const off64_t base = whence == SEEK_SET   ? 0
                         : whence == SEEK_CUR ? static_cast<off64_t>(stream->position)
                                              : static_cast<off64_t>(stream->text.size());
    const off64_t target = base + *offset;
    if (target < 0) return -1;
    stream->position = std::min(static_cast<std::size_t>(target), stream->text.size());
    *offset = static_cast<off64_t>(stream->position);
    return 0;
}

int TextClose(void* cookie) {
    delete static_cast<TextStream*>(cookie);
    return 0;
}

std::FILE* OpenTextForReading(const std::string& path) {
    std::FILE* raw = std::fopen(path.c_str(), "rb");
    if (!raw) return nullptr;
    std::string bytes;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, raw)) > 0;) bytes.append(chunk, n);
    const bool failed = std::ferror(raw) != 0;
    std::fclose(raw);
    if (failed) return nullptr;
    auto stream = std::make_unique<TextStream>();
    stream->text = WindowsTextModeRead(bytes);
    const cookie_io_functions_t functions{TextRead, nullptr, TextSeek, TextClose};
    std::FILE* file = fopencookie(stream.get(), "r", functions);
    if (file) stream.release();
    return file;
}

#endif

}  // namespace

std::string WindowsTextModeRead(std::string_view raw) {
    std::string text;
    text.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == kCtrlZ) break;
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
        text += raw[i];
    }
    return text;
}

WindowsDirectory::WindowsDirectory(std::string path)
    : path_(path.empty() ? std::string(".") : std::move(path)) {}

std::string WindowsDirectory::PathOf(const std::string& name) const {
    return path_ + "/" + name;
}

#ifdef _WIN32

std::string WindowsDirectory::Find(const char* name) const {
    return name && *name && Exists(PathOf(name)) ? std::string(name) : std::string();
}

std::string WindowsDirectory::Resolve(const char* name) const {
    return name;
}

std::FILE* WindowsDirectory::Open(const char* name, const char* mode) const {
    return std::fopen(PathOf(name).c_str(), mode);
}

#else

std::string WindowsDirectory::Find(const char* name) const {
    const std::string wanted = name ? name : "";
    if (wanted.empty()) return {};
    if (Exists(PathOf(wanted))) return wanted;
    if (wanted.find_first_of("/\\") != std::string::npos) return {};
    DIR* dir = opendir(path_.c_str());
    if (!dir) return {};
    std::vector<std::string> matches;
    while (const dirent* entry = readdir(dir))
        if (SameIgnoringCase(entry->d_name, wanted)) matches.emplace_back(entry->d_name);
    closedir(dir);
    if (matches.empty()) return {};
    return *std::min_element(matches.begin(), matches.end());
}

std::string WindowsDirectory::Resolve(const char* name) const {
    std::string found = Find(name);
    return found.empty() ? std::string(name ? name : "") : found;
}

std::FILE* WindowsDirectory::Open(const char* name, const char* mode) const {
    const std::string path = PathOf(Resolve(name));
    if (TextMode(mode) && ReadOnly(mode)) return OpenTextForReading(path);
    // Writing: the bytes go out as they are (see the header).
    std::string binary = mode;
    if (TextMode(mode)) binary += 'b';
    return std::fopen(path.c_str(), binary.c_str());
}

#endif

#ifdef _WIN32

bool FlushStream(std::FILE* file) {
    if (std::fflush(file) != 0) return false;
    const int fd = _fileno(file);
    // A stream of no file of the system's (a test's) has nothing more to flush.
    if (fd < 0) return true;
    return ::FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) != FALSE;
}

bool WindowsDirectory::FlushDirectory() const {
    return true;
}

#else

bool FlushStream(std::FILE* file) {
    if (std::fflush(file) != 0) return false;
    const int fd = fileno(file);
    // A stream of no file of the system's (a test's) has nothing more to flush.
    return fd < 0 || ::fsync(fd) == 0;
}

bool WindowsDirectory::FlushDirectory() const {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

#endif

bool WindowsDirectory::Remove(const char* name) const {
    return std::remove(PathOf(Resolve(name)).c_str()) == 0;
}

bool WindowsDirectory::Rename(const char* from, const char* to) const {
    if (!Find(to).empty()) return false;
    return std::rename(PathOf(Resolve(from)).c_str(), PathOf(to).c_str()) == 0;
}

}  // namespace usbisp
