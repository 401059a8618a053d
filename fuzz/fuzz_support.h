// What the fuzzers share: a bench whose program directory lies in memory (the
// input is served as a file, and what the program writes stays in memory, so
// that an execution touches no disk), and a view that keeps nothing.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <string>

#include "platform/sim/bench.h"
#include "platform/windows_files.h"
#include "script/recording_view.h"

namespace usbisp::fuzz {

// A directory for what still needs one (a bench file's "@FILE" firmware).
inline const std::string& ScratchDir() {
    static const std::string dir = [] {
        char pattern[] = "/tmp/usbisp-fuzz-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        return std::string(pattern);
    }();
    return dir;
}

// The bench with its files in memory. Names match whatever their case, and a
// text-mode read translates as the Windows C library does, as the bench's
// own directory does.
class MemoryBench : public sim::Bench {
  public:
    MemoryBench() : sim::Bench(sim::BenchConfig{}, ScratchDir(), nullptr, false) {}
    ~MemoryBench() override { Settle(); }

    // Starts an execution: no file but this one.
    void Only(const std::string& name, const std::uint8_t* data, std::size_t size) {
        Settle();
        files_.clear();
        reads_.clear();
        files_[Key(name)] = File{name, std::string(reinterpret_cast<const char*>(data), size)};
    }

    std::FILE* OpenFile(const char* name, const char* mode) override {
        if (!name || !*name) return nullptr;
        Settle();
        const std::string how = mode ? mode : "";
        if (how.find_first_of("wa+") != std::string::npos) {
            Writing& w = writing_[Key(name)];
            w.name = Found(name);
            return open_memstream(&w.buffer, &w.length);
        }
        const auto it = files_.find(Key(name));
        if (it == files_.end()) return nullptr;
        reads_.push_back(how.find('b') != std::string::npos
                             ? it->second.bytes
                             : WindowsTextModeRead(it->second.bytes));
        std::string& bytes = reads_.back();
        return fmemopen(bytes.data(), bytes.size(), "r");
    }
    std::string FindFile(const char* name) override {
        Settle();
        const auto it = files_.find(Key(name));
        return it == files_.end() ? std::string() : it->second.name;
    }
    bool RemoveFile(const char* name) override {
        Settle();
        return files_.erase(Key(name)) != 0;
    }
    bool RenameFile(const char* from, const char* to) override {
        Settle();
        const auto it = files_.find(Key(from));
        if (it == files_.end() || files_.count(Key(to)) != 0) return false;
        File moved{to, std::move(it->second.bytes)};
        files_.erase(it);
        files_[Key(to)] = std::move(moved);
        return true;
    }

  private:
    struct File {
        std::string name;
        std::string bytes;
    };
    // A stream opened for writing: its bytes once the program closed it.
    struct Writing {
        std::string name;
        char* buffer = nullptr;
        std::size_t length = 0;
    };

    static std::string Key(const std::string& name) {
        std::string key = name;
        std::transform(key.begin(), key.end(), key.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        return key;
    }
    std::string Found(const char* name) const {
        const auto it = files_.find(Key(name));
        return it == files_.end() ? std::string(name) : it->second.name;
    }
    // The written streams become files: the program closes each before it
    // asks for a file again.
    void Settle() {
        for (auto& [key, w] : writing_) {
            files_[key] = File{w.name, std::string(w.buffer ? w.buffer : "", w.length)};
            std::free(w.buffer);
        }
        writing_.clear();
    }

    std::map<std::string, File> files_;
    std::map<std::string, Writing> writing_;
    // What the open read streams read from, until the next execution.
    std::deque<std::string> reads_;
};

// One bench for the whole run: building it anew for every input would cost
// more than the parsing it serves.
inline MemoryBench& BenchWith(const std::string& name, const std::uint8_t* data, std::size_t size) {
    static MemoryBench bench;
    bench.Only(name, data, size);
    return bench;
}

inline script::RecordingView& QuietView() {
    static script::RecordingView view([](const std::string&) {});
    return view;
}

}  // namespace usbisp::fuzz
