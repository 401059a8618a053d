// What the DEVICE.TXT tests share: a bench whose current directory is a fresh
// temporary directory, counting every open and close of a file, and a main
// view that records its message boxes.
#pragma once

#include <gtest/gtest.h>
#include <stdio.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/sim/bench.h"
#include "support/test_support.h"
#include "updatedata/update_data_file.h"
#include "view/views.h"

namespace usbisp::testing {

struct FileCounts {
    int opens = 0;
    int closes = 0;
};

// The bench with its file streams wrapped so that each fclose is seen.
class CountingBench : public sim::Bench {
  public:
    explicit CountingBench(const std::string& directory)
        : Bench(
              sim::BenchConfig{}, directory, [](const std::string&) {}, false) {}

    std::FILE* OpenFile(const char* name, const char* mode) override {
        std::FILE* inner = Bench::OpenFile(name, mode);
        if (inner == nullptr) return nullptr;
        ++counts.opens;
        auto* cookie = new Cookie{inner, &counts};
        cookie_io_functions_t io{};
        io.read = [](void* c, char* buffer, size_t size) -> ssize_t {
            return static_cast<ssize_t>(std::fread(buffer, 1, size, static_cast<Cookie*>(c)->file));
        };
        io.close = [](void* c) -> int {
            auto* self = static_cast<Cookie*>(c);
            ++self->counts->closes;
            const int result = std::fclose(self->file);
            delete self;
            return result;
        };
        return fopencookie(cookie, mode, io);
    }

    FileCounts counts;

  private:
    struct Cookie {
        std::FILE* file;
        FileCounts* counts;
    };
};

struct Box {
    std::string text;
    std::string caption;
    BoxIcon icon;
};

class RecordingView : public MainView {
  public:
    void MessageBox(const std::string& text, const std::string& caption, BoxIcon icon) override {
        boxes.push_back({text, caption, icon});
    }
    void SetControlText(int, const std::string&) override {}
    void ListReset(int) override {}
    void ListAdd(int, const std::string&) override {}
    void ListSelect(int, int) override {}
    std::string ListSelectedText(int) override { return {}; }
    void EndDialog(bool) override {}
    std::unique_ptr<StatusView> CreateStatusWindow() override { return nullptr; }

    std::vector<Box> boxes;
};

class DeviceFileTest : public ::testing::Test {
  protected:
    DeviceFileTest() : bench_(dir_.path()) {}

    void WriteDeviceFile(const std::string& text) { dir_.Write("DEVICE.TXT", text); }

    CountingBench& bench() { return bench_; }

    // The value the last accepted lookup left in the word buffer.
    std::string Value(int result) const {
        return std::string(reader.word.data() + 1, static_cast<std::size_t>(result - 3));
    }

    KeyReader reader;

  private:
    test::TempDir dir_;
    CountingBench bench_;
};

}  // namespace usbisp::testing
