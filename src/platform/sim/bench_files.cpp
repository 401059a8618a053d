// The files of the emulated machine's directory, as the program's file calls
// find them: the bench's folder on the disk, with the file faults a bench
// file asks for (a file that cannot be read or written, a full disk, a length
// that cannot be measured, a remove or rename that fails).
#include <cstdio>
#include <string>

#include "platform/file_lock.h"
#include "platform/sim/bench.h"
#include "platform/windows_files.h"

namespace usbisp::sim {

std::FILE* Bench::OpenFile(const char* name, const char* mode) {
    // Windows opens nothing by an empty name; here it would be the directory.
    if (!name || !*name) return nullptr;
    const std::string how = mode ? mode : "";
    const bool writing = how.find_first_of("wa+") != std::string::npos;
    if (fileFaults_.Has(writing ? "write" : "read", name)) return nullptr;
    if (writing && fileFaults_.Has("full", name)) {
        // The file is made or emptied as on a full disk; nothing reaches it.
        std::FILE* file = files_.Open(name, how.c_str());
        if (!file) return nullptr;
        std::fclose(file);
        return FileFaults::FullStream();
    }
    std::FILE* file = files_.Open(name, how.c_str());
    if (file && !writing && fileFaults_.Has("length", name)) {
        std::fclose(file);
        return FileFaults::UnmeasurableStream();
    }
    return file;
}

std::string Bench::FindFile(const char* name) {
    return files_.Find(name);
}

bool Bench::RemoveFile(const char* name) {
    if (fileFaults_.Has("remove", name)) return false;
    return files_.Remove(name);
}

bool Bench::RenameFile(const char* from, const char* to) {
    if (fileFaults_.Has("rename", from)) return false;
    return files_.Rename(from, to);
}

bool Bench::FlushFile(std::FILE* file) {
    return FlushStream(file);
}

bool Bench::FlushDirectory() {
    return files_.FlushDirectory();
}

std::unique_ptr<FileLock> Bench::LockFile(const char* name, const std::string& note,
                                          std::string& holder) {
    if (fileFaults_.Has("write", name)) {
        holder = std::string(name) + " cannot be opened";
        return nullptr;
    }
    return TakeLockFile(files_.PathFor(name), note, holder);
}

}  // namespace usbisp::sim
