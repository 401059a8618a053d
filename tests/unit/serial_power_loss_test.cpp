// A power loss anywhere in the SERIAL.TXT store leaves the disk the old or the
// new counter, never an empty or torn file; and once the store has reported
// success the new counter is on the disk.
//
// The disk is modelled as a journalling file system with delayed allocation
// keeps it: a file's bytes reach the disk only when the file is flushed, while
// the directory's changes (a file made, removed, renamed) reach it in their
// order, any number of them at any moment, and all of them once the
// directory is flushed. A power loss after each step, with each number of the
// directory's changes on the disk, is read back by a fresh start.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "firmware/serial_file.h"
#include "firmware/serial_number.h"
#include "firmware_test_support.h"

namespace usbisp::test {
namespace {

// What the disk holds: names to files, and the bytes of each file that were
// flushed (a file never flushed is empty there).
struct Disk {
    std::map<std::string, int> names;
    std::map<int, std::string> bytes;
};

struct Change {
    enum Kind { Make, Remove, Rename } kind;
    std::string name;
    std::string to;  // Rename
    int file = 0;    // Make
};

void Apply(const Change& change, std::map<std::string, int>& names) {
    switch (change.kind) {
        case Change::Make:
            names[change.name] = change.file;
            break;
        case Change::Remove:
            names.erase(change.name);
            break;
        case Change::Rename:
            names[change.to] = names[change.name];
            names.erase(change.name);
            break;
    }
}

// The bench, with the disk kept beside the directory it writes.
class DiskBench : public sim::Bench {
  public:
    DiskBench(const std::string& dir, const std::map<std::string, std::string>& files)
        : Bench(sim::BenchConfig{}, dir, nullptr, false) {
        for (const auto& [name, bytes] : files) {
            names_[name] = ++lastFile_;
            disk_.names[name] = lastFile_;
            disk_.bytes[lastFile_] = bytes;
        }
        Point();
    }

    // The disk after a power loss at step `step`, with `changes` of the
    // directory's changes made before it on the disk; the range of those.
    std::pair<std::size_t, std::size_t> ChangesAt(std::size_t step) const {
        return {points_[step].committed, points_[step].made};
    }
    std::size_t steps() const { return points_.size(); }
    Disk After(std::size_t step, std::size_t changes) const {
        Disk disk = disk_;
        for (std::size_t i = 0; i < changes; ++i) Apply(changes_[i], disk.names);
        disk.bytes = points_[step].flushed;
        return disk;
    }

    std::FILE* OpenFile(const char* name, const char* mode) override {
        std::FILE* file = Bench::OpenFile(name, mode);
        if (!file || mode[0] == 'r') return file;
        // A file written afresh is a new file on the disk.
        const std::string found = FindFile(name);
        if (names_.count(found)) Record({Change::Remove, found, "", 0});
        names_[found] = ++lastFile_;
        Record({Change::Make, found, "", lastFile_});
        auto* cookie = new Cookie{this, file, lastFile_};
        const cookie_io_functions_t functions{nullptr, Write, nullptr, Close};
        std::FILE* wrapped = fopencookie(cookie, "w", functions);
        files_[wrapped] = lastFile_;
        return wrapped;
    }
    bool RemoveFile(const char* name) override {
        const std::string found = FindFile(name);
        if (!Bench::RemoveFile(name)) return false;
        names_.erase(found);
        Record({Change::Remove, found, "", 0});
        return true;
    }
    bool RenameFile(const char* from, const char* to) override {
        const std::string found = FindFile(from);
        if (!Bench::RenameFile(from, to)) return false;
        names_[to] = names_[found];
        names_.erase(found);
        Record({Change::Rename, found, to, 0});
        return true;
    }
    bool FlushFile(std::FILE* file) override {
        if (std::fflush(file) != 0) return false;
        flushed_[files_.at(file)] = cached_[files_.at(file)];
        Point();
        return true;
    }
    bool FlushDirectory() override {
        committed_ = changes_.size();
        Point();
        return true;
    }

  private:
    struct Cookie {
        DiskBench* bench;
        std::FILE* file;
        int id;
    };
    struct StepPoint {
        std::size_t committed;
        std::size_t made;
        std::map<int, std::string> flushed;
    };
    static ssize_t Write(void* c, const char* bytes, std::size_t size) {
        auto* cookie = static_cast<Cookie*>(c);
        if (std::fwrite(bytes, 1, size, cookie->file) != size) return -1;
        cookie->bench->cached_[cookie->id].append(bytes, size);
        return static_cast<ssize_t>(size);
    }
    static int Close(void* c) {
        auto* cookie = static_cast<Cookie*>(c);
        const int result = std::fclose(cookie->file);
        delete cookie;
        return result;
    }
    void Record(const Change& change) {
        changes_.push_back(change);
        Point();
    }
    void Point() {
        std::map<int, std::string> flushed = disk_.bytes;
        for (const auto& [id, bytes] : flushed_) flushed[id] = bytes;
        points_.push_back({committed_, changes_.size(), flushed});
    }

    Disk disk_;  // before the first step
    std::map<std::string, int> names_;
    std::map<std::FILE*, int> files_;
    std::map<int, std::string> cached_;
    std::map<int, std::string> flushed_;
    std::vector<Change> changes_;
    std::size_t committed_ = 0;
    std::vector<StepPoint> points_;
    int lastFile_ = 0;
};

TEST(SerialPowerLoss, AtEveryStepTheDiskHoldsTheOldOrTheNewCounter) {
    struct Start {
        const char* what;
        std::map<std::string, std::string> files;
    };
    const Start starts[] = {
        {"SERIAL.TXT alone", {{"SERIAL.TXT", "0x57 0x1 0x7"}}},
        {"a torn new file beside it", {{"SERIAL.TXT", "0x57 0x1 0x7"}, {"SERIAL.NEW", "0x5"}}},
        {"an earlier replacement to finish", {{"SERIAL.NEW", "0x57 0x1 0x7 "}}},
    };
    for (const Start& start : starts) {
        SCOPED_TRACE(start.what);
        TempDir dir;
        for (const auto& [name, bytes] : start.files) dir.Write(name.c_str(), bytes);
        DiskBench bench(dir.path(), start.files);
        ASSERT_TRUE(StoreSerialCounter(bench, SerialCounter{0x57, 0x1, 0x8}));
        const std::size_t last = bench.steps() - 1;
        for (std::size_t step = 0; step <= last; ++step) {
            const auto [committed, made] = bench.ChangesAt(step);
            for (std::size_t changes = committed; changes <= made; ++changes) {
                SCOPED_TRACE("step " + std::to_string(step) + ", directory changes " +
                             std::to_string(changes) + " of " + std::to_string(made));
                const Disk disk = bench.After(step, changes);
                TempDir after;
                for (const auto& [name, file] : disk.names) {
                    const auto bytes = disk.bytes.find(file);
                    after.Write(name.c_str(), bytes == disk.bytes.end() ? "" : bytes->second);
                }
                FileBench next;
                sim::Bench reader(sim::BenchConfig{}, after.path(), nullptr, false);
                SerialCounter counter;
                ASSERT_TRUE(ReadSerialCounter(reader, next.messages, counter)) << next.statusText;
                // Once the store has returned, only the new counter.
                if (step == last) {
                    EXPECT_EQ(counter.CNT, 0x8u);
                } else {
                    EXPECT_TRUE(counter.CNT == 0x7u || counter.CNT == 0x8u) << counter.CNT;
                }
            }
        }
    }
}

}  // namespace
}  // namespace usbisp::test
