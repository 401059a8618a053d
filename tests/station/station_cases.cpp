// Runs every station run kept as data: cases/<case>/ holds a bench with its
// plug timeline (bench.json), the files of the program's directory
// (`fixtures`: names of folders of tests/cases/fixtures; files/), the flags
// (`options`: --verify-only, --trace-io), and what was written by hand: the
// transcript (expected.txt), the production log afterwards (log.txt), files
// afterwards (after/), the exit status (exit) and standard error
// (stderr.txt). before.log is the log the run finds.
//
// In expected.txt a line "@include NAME" stands for the lines of pieces/NAME
// (here or in tests/cases/pieces), and "@port P NAME" for those lines each
// as an event of port P ("port P | " before it).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "station/station_main.h"
#include "support/test_support.h"

namespace usbisp::test {
namespace {

namespace fs = std::filesystem;

const fs::path kRoot = USBISP_STATION_CASES_DIR;
const fs::path kMainCases = USBISP_CASES_DIR;

std::string Piece(const std::string& name) {
    for (const fs::path& dir : {kRoot / "pieces", kMainCases / "pieces"})
        if (fs::exists(dir / name)) return ReadFile(dir / name);
    ADD_FAILURE() << "no piece " << name;
    return "";
}

std::string Expand(const std::string& text, const std::string& prefix) {
    std::istringstream in(text);
    std::string expanded;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("@include ", 0) == 0) {
            expanded += Expand(Piece(line.substr(9)), prefix);
        } else if (line.rfind("@port ", 0) == 0) {
            const std::vector<std::string> words = Words(line.substr(6));
            EXPECT_EQ(words.size(), 2u) << line;
            if (words.size() == 2)
                expanded += Expand(Piece(words[1]), prefix + "port " + words[0] + " | ");
        } else {
            expanded += prefix + line + "\n";
        }
    }
    return expanded;
}

std::vector<std::string> CaseNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(kRoot / "cases"))
        if (fs::exists(entry.path() / "expected.txt"))
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void CopyInto(const fs::path& from, const std::string& to) {
    if (fs::exists(from))
        fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

class StationCases : public ::testing::TestWithParam<std::string> {};

TEST_P(StationCases, TranscriptAndLogAsWrittenByHand) {
    const fs::path dir = kRoot / "cases" / GetParam();
    TempDir run;
    for (const std::string& fixture : Words(ReadFile(dir / "fixtures")))
        CopyInto(kMainCases / "fixtures" / fixture, run.path());
    CopyInto(dir / "files", run.path());
    const std::string log = run.path() + "/PRODUCTION.LOG";
    if (fs::exists(dir / "before.log")) fs::copy_file(dir / "before.log", log);

    std::vector<std::string> args = {
        "usbisp", "--station", "--headless", "--bench", (dir / "bench.json").string(),
        "--dir",  run.path()};
    for (const std::string& flag : Words(ReadFile(dir / "options"))) args.push_back(flag);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    std::ostringstream out, err;
    const int exitCode = station::StationMain(static_cast<int>(argv.size()), argv.data(), out, err);

    const std::string exitText = ReadFile(dir / "exit");
    EXPECT_EQ(exitCode, exitText.empty() ? 0 : std::stoi(exitText));
    const std::string differs =
        FirstDifference(Expand(ReadFile(dir / "expected.txt"), ""), out.str());
    if (!differs.empty()) ADD_FAILURE() << "the transcript's " << differs;
    EXPECT_EQ(err.str(), ReadFile(dir / "stderr.txt"));
    if (fs::exists(dir / "log.txt")) {
        EXPECT_EQ(ReadFile(log), ReadFile(dir / "log.txt"));
    }
    if (fs::exists(dir / "after")) {
        for (const auto& entry : fs::recursive_directory_iterator(dir / "after")) {
            if (!entry.is_regular_file()) continue;
            const std::string name = fs::relative(entry.path(), dir / "after").generic_string();
            EXPECT_TRUE(run.Exists(name)) << name << " is missing";
            EXPECT_EQ(run.Read(name), ReadFile(entry.path())) << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Station, StationCases, ::testing::ValuesIn(CaseNames()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace usbisp::test
