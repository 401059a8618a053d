#include "platform/sim/file_faults.h"

#include <cstdio>

#include "platform/ascii_case.h"
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace usbisp::sim {

namespace {

#ifndef _WIN32
ssize_t ReadNothing(void*, char*, size_t) {
    return 0;
}
ssize_t WriteNothing(void*, const char*, size_t) {
    return -1;
}
int SeekFails(void*, off64_t*, int) {
    return -1;
}
int CloseNothing(void*) {
    return 0;
}
#endif

}  // namespace

void FileFaults::Set(std::set<std::string> faults) {
    faults_.clear();
    for (const std::string& fault : faults) faults_.insert(AsciiUpper(fault));
}

bool FileFaults::Has(const std::string& operation, const char* name) const {
    return faults_.count(AsciiUpper(operation + ":" + (name ? name : ""))) != 0;
}

std::FILE* FileFaults::UnmeasurableStream() {
#ifdef _WIN32
    // Windows has no cookie streams: the read end of an empty pipe whose write
    // end is closed reads nothing and cannot seek.
    int ends[2];
    if (_pipe(ends, 256, _O_BINARY) != 0) return nullptr;
    _close(ends[1]);
    return _fdopen(ends[0], "rb");
#else
    const cookie_io_functions_t functions{ReadNothing, WriteNothing, SeekFails, CloseNothing};
    return fopencookie(nullptr, "rb", functions);
#endif
}

std::FILE* FileFaults::FullStream() {
#ifdef _WIN32
    // The write end of a pipe whose read end is closed takes nothing.
    int ends[2];
    if (_pipe(ends, 256, _O_BINARY) != 0) return nullptr;
    _close(ends[0]);
    return _fdopen(ends[1], "wb");
#else
    const cookie_io_functions_t functions{ReadNothing, WriteNothing, SeekFails, CloseNothing};
    return fopencookie(nullptr, "wb", functions);
#endif
}

}  // namespace usbisp::sim
