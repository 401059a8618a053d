#include "support/test_support.h"

#include <algorithm>
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

namespace {

// A text's lines, and whether each ends with a line break (all but perhaps
// the last), so that two texts have the same lines exactly when they are the
// same.
struct TextLine {
    std::string text;
    bool broken = true;
    bool operator==(const TextLine&) const = default;
};

std::vector<TextLine> LinesAsWritten(const std::string& text) {
    std::vector<TextLine> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            lines.push_back({text.substr(at), false});
            break;
        }
        lines.push_back({text.substr(at, end - at), true});
        at = end + 1;
    }
    return lines;
}

std::string Shown(const std::vector<TextLine>& lines, std::size_t index) {
    if (index >= lines.size()) return "(none: the text ends before it)";
    const TextLine& line = lines[index];
    return line.text + (line.broken ? "" : "  (no line break after it)");
}

}  // namespace

std::string FirstDifference(const std::string& expected, const std::string& actual) {
    const std::vector<TextLine> want = LinesAsWritten(expected);
    const std::vector<TextLine> have = LinesAsWritten(actual);
    for (std::size_t i = 0; i < std::max(want.size(), have.size()); ++i) {
        if (i < want.size() && i < have.size() && want[i] == have[i]) continue;
        return "first difference at line " + std::to_string(i + 1) +
               "\n  expected: " + Shown(want, i) + "\n  actual:   " + Shown(have, i);
    }
    return {};
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
