// Helpers for tests: a scratch directory, and whole scripted runs against a
// bench with the transcript they print.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace usbisp::test {

// A fresh directory under the system's temporary directory, removed again
// when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    void Write(const std::string& name, const std::string& content) const;
    void WriteBytes(const std::string& name, const std::vector<unsigned char>& bytes) const;
    std::string Read(const std::string& name) const;
    bool Exists(const std::string& name) const;

  private:
    std::string path_;
};

struct RunResult {
    int exitCode = 0;
    std::string transcript;  // what the run printed on standard output
    std::string errors;      // what it printed on standard error
};

struct RunOptions {
    bool traceIo = false;
    // When given: the handles the run left open on the bench.
    std::size_t* handlesLeft = nullptr;
};

// Runs `script` in-process against the bench `benchJson`, with `dir` as the
// program's directory (the bench file is written there as BENCH.JSON).
RunResult RunScript(const TempDir& dir, const std::string& benchJson, const std::string& script,
                    RunOptions options = {});

// The lines of a transcript.
std::vector<std::string> Lines(const std::string& text);

// Where `actual` first differs from `expected`, line by line: the line's
// number, the line expected and the line there is, as a test reports them;
// empty when the two texts are the same.
std::string FirstDifference(const std::string& expected, const std::string& actual);

// The whole of a file as it is on disk; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// The words of a text, split at white space.
std::vector<std::string> Words(const std::string& text);

}  // namespace usbisp::test
