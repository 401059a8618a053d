// A process that dies anywhere in the SERIAL.TXT store (before or after each
// file operation, after each byte written) leaves the next start the old or
// the new counter, never neither and never a torn file. Each death is real:
// a forked child runs the store and exits at its seam.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>

#include "firmware/serial_file.h"
#include "firmware/serial_number.h"
#include "firmware_test_support.h"

namespace usbisp::test {
namespace {

// The bench, with a seam before and after every file operation and after
// every byte that reaches a file: seam n ends the process, 0 never does.
class SeamBench : public sim::Bench {
  public:
    SeamBench(const std::string& dir, int dieAt)
        : Bench(sim::BenchConfig{}, dir, nullptr, false), dieAt_(dieAt) {}

    int seams() const { return seam_; }

    std::FILE* OpenFile(const char* name, const char* mode) override {
        Seam();
        std::FILE* file = Bench::OpenFile(name, mode);
        Seam();
        if (!file || mode[0] == 'r') return file;
        // Each byte goes to the file on its own, so that a death can cut it.
        auto* cookie = new Cookie{this, file};
        const cookie_io_functions_t functions{nullptr, Write, nullptr, Close};
        return fopencookie(cookie, "w", functions);
    }
    std::string FindFile(const char* name) override {
        Seam();
        return Bench::FindFile(name);
    }
    bool RemoveFile(const char* name) override {
        Seam();
        const bool removed = Bench::RemoveFile(name);
        Seam();
        return removed;
    }
    bool RenameFile(const char* from, const char* to) override {
        Seam();
        const bool renamed = Bench::RenameFile(from, to);
        Seam();
        return renamed;
    }

  private:
    struct Cookie {
        SeamBench* bench;
        std::FILE* file;
    };
    static ssize_t Write(void* c, const char* bytes, std::size_t size) {
        auto* cookie = static_cast<Cookie*>(c);
        for (std::size_t i = 0; i < size; ++i) {
            if (std::fputc(bytes[i], cookie->file) == EOF || std::fflush(cookie->file) != 0)
                return -1;
            cookie->bench->Seam();
        }
        return static_cast<ssize_t>(size);
    }
    static int Close(void* c) {
        auto* cookie = static_cast<Cookie*>(c);
        const int result = std::fclose(cookie->file);
        delete cookie;
        return result;
    }
    void Seam() {
        if (++seam_ == dieAt_) _exit(0);
    }

    int dieAt_;
    int seam_ = 0;
};

using File = std::optional<std::string>;

File Held(const TempDir& dir, const char* name) {
    return dir.Exists(name) ? File(dir.Read(name)) : File();
}

struct Start {
    const char* what;
    File serial;  // SERIAL.TXT before the store
    File fresh;   // SERIAL.NEW before the store
};

// Runs the store of 0x8 over `start`, dying at seam `dieAt` (0: not at all);
// returns the number of seams the store passed.
int StoreDyingAt(const TempDir& dir, const Start& start, int dieAt) {
    for (const char* name : {"SERIAL.TXT", "SERIAL.NEW"})
        std::remove((dir.path() + "/" + name).c_str());
    if (start.serial) dir.Write("SERIAL.TXT", *start.serial);
    if (start.fresh) dir.Write("SERIAL.NEW", *start.fresh);
    if (dieAt == 0) {
        SeamBench bench(dir.path(), 0);
        EXPECT_TRUE(StoreSerialCounter(bench, SerialCounter{0x57, 0x1, 0x8}));
        return bench.seams();
    }
    const pid_t child = fork();
    if (child == 0) {
        SeamBench bench(dir.path(), dieAt);
        StoreSerialCounter(bench, SerialCounter{0x57, 0x1, 0x8});
        _exit(3);  // the seam was never reached
    }
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "died at seam " << dieAt;
    return dieAt;
}

TEST(SerialCrash, ADeathAtAnySeamLeavesTheOldOrTheNewCounter) {
    const Start starts[] = {
        {"SERIAL.TXT alone", "0x57 0x1 0x7", {}},
        {"a stale new file beside it", "0x57 0x1 0x7", "0x57 0x1 0x"},
        // An earlier store died before its rename: the store finishes it first.
        {"an earlier replacement to finish", {}, "0x57 0x1 0x7 "},
    };
    for (const Start& start : starts) {
        SCOPED_TRACE(start.what);
        TempDir dir;
        const int seams = StoreDyingAt(dir, start, 0);
        ASSERT_GT(seams, 10);
        for (int seam = 1; seam <= seams; ++seam) {
            SCOPED_TRACE("seam " + std::to_string(seam) + " of " + std::to_string(seams));
            StoreDyingAt(dir, start, seam);

            // The next start reads the counter, finishing what the store left.
            FileBench next;
            sim::Bench bench(sim::BenchConfig{}, dir.path(), nullptr, false);
            SerialCounter counter;
            ASSERT_TRUE(ReadSerialCounter(bench, next.messages, counter)) << next.statusText;
            EXPECT_TRUE(counter.CNT == 0x7 || counter.CNT == 0x8) << counter.CNT;
            const File serial = Held(dir, "SERIAL.TXT");
            ASSERT_TRUE(serial.has_value());
            EXPECT_TRUE(*serial == "0x57 0x1 0x7" || IsWholeSerialText(*serial)) << *serial;
        }
    }
}

}  // namespace
}  // namespace usbisp::test
