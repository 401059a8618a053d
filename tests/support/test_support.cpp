#include "support/test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "platform/sim/bench.h"
#include "script/headless.h"

namespace usbisp::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "usbisp-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary directory");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void TempDir::Write(const std::string& name, const std::string& content) const {
    std::ofstream out(path_ + "/" + name, std::ios::binary);
    out << content;
}

void TempDir::WriteBytes(const std::string& name, const std::vector<unsigned char>& bytes) const {
    std::ofstream out(path_ + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::string TempDir::Read(const std::string& name) const {
    return ReadFile(path_ + "/" + name);
}

bool TempDir::Exists(const std::string& name) const {
    return fs::exists(path_ + "/" + name);
}

RunResult RunScript(const TempDir& dir, const std::string& benchJson, const std::string& script,
                    RunOptions options) {
    dir.Write("BENCH.JSON", benchJson);
    dir.Write("SCRIPT.TXT", script);
    script::HeadlessOptions headless;
    headless.scriptPath = dir.path() + "/SCRIPT.TXT";
    headless.benchPath = dir.path() + "/BENCH.JSON";
    headless.directory = dir.path();
    headless.traceIo = options.traceIo;
    if (options.handlesLeft != nullptr) {
        headless.afterRun = [&options](const sim::Bench& bench) {
            *options.handlesLeft = bench.openHandleCount();
        };
    }
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    RunResult result;
    result.exitCode = script::RunHeadless(headless, in, out, err);
    result.transcript = out.str();
    result.errors = err.str();
    return result;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

}  // namespace usbisp::test
