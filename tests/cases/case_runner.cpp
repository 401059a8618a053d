// Runs every scripted case kept as data (see README.md beside it).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "case_table.h"
#include "platform/sim/bench.h"
#include "script/headless.h"
#include "support/sg_io_seam.h"
#include "support/test_support.h"

namespace usbisp::test {
namespace {

namespace fs = std::filesystem;

const fs::path kCasesRoot = USBISP_CASES_DIR;
// Where the cases of the tables are written out, one folder each, when they
// run.
const fs::path kTableCasesRoot = USBISP_TABLE_CASES_DIR;

// The transcript a case expects: its expected.txt, where a line "@include
// NAME" stands for the lines of pieces/NAME (start-ups and other runs that
// many cases share), and a line "@repeat N LINE" for N lines LINE (a long
// wait's sleeps).
std::string ExpectedTranscript(const fs::path& file) {
    std::istringstream in(ReadFile(file));
    std::string expected;
    const std::string include = "@include ";
    const std::string repeat = "@repeat ";
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(include, 0) == 0) {
            const fs::path piece = kCasesRoot / "pieces" / line.substr(include.size());
            EXPECT_TRUE(fs::exists(piece)) << piece << " is missing";
            expected += ReadFile(piece);
        } else if (line.rfind(repeat, 0) == 0) {
            std::istringstream form(line.substr(repeat.size()));
            int count = 0;
            std::string repeated;
            form >> count;
            std::getline(form >> std::ws, repeated);
            EXPECT_TRUE(count > 0 && !repeated.empty()) << "malformed line \"" << line << '"';
            for (int i = 0; i < count; ++i) expected += repeated + "\n";
        } else {
            expected += line + "\n";
        }
    }
    return expected;
}

// The cases of every group's table.txt, by name.
const std::map<std::string, TableCase>& TableCases() {
    static const std::map<std::string, TableCase> cases = [] {
        std::map<std::string, TableCase> byName;
        for (const auto& group : fs::directory_iterator(kCasesRoot))
            if (fs::exists(group.path() / "table.txt"))
                for (TableCase& c : ExpandTable(group.path() / "table.txt", kCasesRoot))
                    byName.emplace(c.name, std::move(c));
        return byName;
    }();
    return cases;
}

std::vector<std::string> CaseNames() {
    std::vector<std::string> names;
    for (const auto& [name, c] : TableCases()) names.push_back(name);
    for (const auto& group : fs::directory_iterator(kCasesRoot)) {
        const std::string name = group.path().filename().string();
        if (!group.is_directory() || name == "fixtures" || name == "pieces") continue;
        for (const auto& entry : fs::directory_iterator(group.path()))
            if (fs::exists(entry.path() / "script.txt"))
                names.push_back(fs::relative(entry.path(), kCasesRoot).generic_string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void CopyInto(const fs::path& from, const std::string& to) {
    if (fs::exists(from))
        fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

bool EndsWithClose(const std::string& script) {
    std::istringstream in(script);
    std::string last;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') last = line;
    return last == "click Close";
}

// Fills a run's directory with the case's fixtures and files.
void FillRunDir(const fs::path& dir, const TempDir& run) {
    for (const std::string& fixture : Words(ReadFile(dir / "fixtures")))
        CopyInto(kCasesRoot / "fixtures" / fixture, run.path());
    CopyInto(dir / "files", run.path());
}

// The files a case's run must leave: after/ byte for byte, none of gone.
void CheckFiles(const fs::path& dir, const TempDir& run) {
    for (const std::string& name : Words(ReadFile(dir / "gone")))
        EXPECT_FALSE(run.Exists(name)) << name << " should not exist";
    if (!fs::exists(dir / "after")) return;
    for (const auto& entry : fs::recursive_directory_iterator(dir / "after")) {
        if (!entry.is_regular_file()) continue;
        const std::string name = fs::relative(entry.path(), dir / "after").generic_string();
        EXPECT_EQ(run.Read(name), ReadFile(entry.path())) << name;
    }
}

// A recorded run replayed: the recording as the bench, the same script, a
// fresh directory; the same transcript, errors, exit status and files as the
// run that made it.
void CheckReplay(const fs::path& dir, script::HeadlessOptions options, const fs::path& recording,
                 const std::string& transcript, const std::string& errors, int exitCode) {
    TempDir again;
    FillRunDir(dir, again);
    options.benchPath = recording.string();
    options.directory = again.path();
    options.recordPath.clear();
    options.beforeRun = nullptr;
    options.afterRun = nullptr;
    std::istringstream in;
    std::ostringstream out, err;
    EXPECT_EQ(script::RunHeadless(options, in, out, err), exitCode);
    const std::string differs = FirstDifference(transcript, out.str());
    if (!differs.empty()) ADD_FAILURE() << "the replay's transcript's " << differs;
    EXPECT_EQ(err.str(), errors);
    CheckFiles(dir, again);
}

class Cases : public ::testing::TestWithParam<std::string> {};

TEST_P(Cases, TranscriptAsWrittenByHand) {
    fs::path dir = kCasesRoot / GetParam();
    auto table = TableCases().find(GetParam());
    if (table != TableCases().end()) {
        ASSERT_TRUE(table->second.error.empty()) << table->second.error;
        dir = WriteTableCase(table->second, kTableCasesRoot);
    }
    SCOPED_TRACE(dir.string());
    TempDir run;
    for (const std::string& fixture : Words(ReadFile(dir / "fixtures")))
        CopyInto(kCasesRoot / "fixtures" / fixture, run.path());
    CopyInto(dir / "files", run.path());

    const std::string script = ReadFile(dir / "script.txt");
    script::HeadlessOptions options;
    options.scriptPath = (dir / "script.txt").string();
    options.benchPath = (dir / "bench.json").string();
    options.directory = run.path();
    for (const std::string& flag : Words(ReadFile(dir / "options"))) {
        ASSERT_EQ(flag, "--trace-io") << "unknown option in " << dir / "options";
        options.traceIo = true;
    }
    const std::vector<std::string> faults = Words(ReadFile(dir / "faults"));
    options.beforeRun = [&](sim::Bench& bench) {
        bench.SetFileFaults(std::set<std::string>(faults.begin(), faults.end()));
    };
    std::size_t handlesLeft = 0;
    options.afterRun = [&](const sim::Bench& bench) { handlesLeft = bench.openHandleCount(); };
    // A case with "replay" is recorded, and the recording replayed below.
    TempDir recordings;
    const bool replay = fs::exists(dir / "replay");
    if (replay) options.recordPath = recordings.path() + "/bench.json";

    std::istringstream in;
    std::ostringstream out, err;
    const int exitCode = script::RunHeadless(options, in, out, err);

    const std::string exitText = ReadFile(dir / "exit");
    EXPECT_EQ(exitCode, exitText.empty() ? 0 : std::stoi(exitText));
    const std::string differs =
        FirstDifference(ExpectedTranscript(dir / "expected.txt"), out.str());
    if (!differs.empty()) ADD_FAILURE() << "the transcript's " << differs;
    EXPECT_EQ(err.str(), ReadFile(dir / "stderr.txt"));
    if (EndsWithClose(script)) {
        EXPECT_EQ(handlesLeft, 0u) << "handles left open on the bench";
    }
    if (fs::exists(dir / "after")) {
        for (const auto& entry : fs::recursive_directory_iterator(dir / "after")) {
            if (!entry.is_regular_file()) continue;
            const std::string name = fs::relative(entry.path(), dir / "after").generic_string();
            EXPECT_TRUE(run.Exists(name)) << name << " is missing";
            EXPECT_EQ(run.Read(name), ReadFile(entry.path())) << name;
        }
    }
    for (const std::string& name : Words(ReadFile(dir / "gone")))
        EXPECT_FALSE(run.Exists(name)) << name << " should not exist";
    if (replay) {
        SCOPED_TRACE("replayed from its recording");
        CheckReplay(dir, options, recordings.path() + "/bench.json", out.str(), err.str(),
                    exitCode);
    }

    // The same run through the Linux layer, its SG_IO requests answered by
    // the bench: the same transcript (but for the reasons only the kernel
    // gives), the same files.
    if (!fs::exists(dir / "linux")) return;
    SCOPED_TRACE("through the Linux layer");
    TempDir again;
    for (const std::string& fixture : Words(ReadFile(dir / "fixtures")))
        CopyInto(kCasesRoot / "fixtures" / fixture, again.path());
    CopyInto(dir / "files", again.path());
    options.directory = again.path();
    // Recorded through the Linux layer, the run replays on the bench as it
    // ran there.
    if (replay) options.recordPath = recordings.path() + "/linux.json";
    const SeamRun real = RunThroughSgIo(options);
    if (replay) {
        SCOPED_TRACE("the Linux layer's recording replayed");
        CheckReplay(dir, options, recordings.path() + "/linux.json", out.str(), err.str(),
                    exitCode);
    }
    EXPECT_EQ(real.exitCode, exitCode);
    const std::string differsThere = FirstDifference(out.str(), AsOnTheBench(real.transcript));
    if (!differsThere.empty()) ADD_FAILURE() << "the transcript's " << differsThere;
    EXPECT_EQ(real.errors, err.str());
    if (EndsWithClose(script)) {
        EXPECT_EQ(real.handlesLeft, 0u) << "handles left open on the Linux layer";
        EXPECT_EQ(real.benchHandlesLeft, 0u) << "devices left open behind the Linux layer";
    }
    for (const std::string& name : Words(ReadFile(dir / "gone")))
        EXPECT_FALSE(again.Exists(name)) << name << " should not exist";
    if (!fs::exists(dir / "after")) return;
    for (const auto& entry : fs::recursive_directory_iterator(dir / "after")) {
        if (!entry.is_regular_file()) continue;
        const std::string name = fs::relative(entry.path(), dir / "after").generic_string();
        EXPECT_EQ(again.Read(name), ReadFile(entry.path())) << name;
    }
}

std::string CaseTestName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name;
    for (char c : info.param) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Data, Cases, ::testing::ValuesIn(CaseNames()), CaseTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Cases);

}  // namespace
}  // namespace usbisp::test
