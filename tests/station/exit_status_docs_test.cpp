// One list of exit statuses: what --help prints is what the README's "Exit
// status" section and the man page's EXIT STATUS say, code by code, and the
// station's ends map onto it.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "station/exit_status.h"
#include "support/test_support.h"

namespace usbisp {
namespace {

using Entries = std::map<std::string, std::string>;  // code -> its text, one space between words

std::string Words(const std::string& text) {
    std::istringstream in(text);
    std::string word, joined;
    while (in >> word) joined += (joined.empty() ? "" : " ") + word;
    return joined;
}

// The lines of `text` from the one equal to `start` up to the next that
// begins with `end` (all of them when there is none).
std::vector<std::string> Section(const std::string& text, const std::string& start,
                                 const std::string& end) {
    std::vector<std::string> lines;
    bool in = false;
    for (const std::string& line : test::Lines(text)) {
        if (in && line.rfind(end, 0) == 0) break;
        if (in) lines.push_back(line);
        if (line == start) in = true;
    }
    return lines;
}

// An entry starts on a line that `head` matches (its first group the code,
// its second the text's beginning); the lines after it that `head` does not
// match go on with its text, up to a line that `stop` matches.
Entries Parse(const std::vector<std::string>& lines, const std::regex& head,
              const std::regex& stop) {
    Entries entries;
    std::string code;
    for (const std::string& line : lines) {
        std::smatch match;
        if (std::regex_match(line, match, head)) {
            code = match[1];
            entries[code] = match[2];
        } else if (std::regex_match(line, stop)) {
            code.clear();
        } else if (!code.empty()) {
            entries[code] += " " + line;
        }
    }
    for (auto& [c, text] : entries) text = Words(text);
    return entries;
}

TEST(ExitStatus, HelpReadmeAndManPageGiveOneList) {
    const Entries help = Parse(Section(kExitStatusHelp, "Exit status:", "\x01"),
                               std::regex(R"(  ([0-9]+(?:\+n)?) +(.*))"), std::regex("^$"));
    ASSERT_EQ(help.size(), 6u);
    EXPECT_EQ(help.at("3").substr(0, 18), "the station halted");

    const std::string readme = test::ReadFile(std::string(USBISP_SOURCE_DIR) + "/README.md");
    const Entries fromReadme = Parse(Section(readme, "### Exit status", "#"),
                                     std::regex(R"(- `([0-9+n]+)`: (.*))"), std::regex("^$"));
    EXPECT_EQ(fromReadme, help);

    // The man page: ".TP", ".B <code>", then the text up to the next request.
    std::string man = test::ReadFile(std::string(USBISP_SOURCE_DIR) + "/packaging/usbisp.1");
    man = std::regex_replace(man, std::regex(R"(\\-)"), "-");
    man = std::regex_replace(man, std::regex(R"(\.TP\n\.B ([^\n]*)\n)"), "=$1 ");
    const Entries fromMan = Parse(Section(man, ".SH EXIT STATUS", ".SH"),
                                  std::regex(R"(=([0-9+n]+) (.*))"), std::regex(R"(\..*)"));
    EXPECT_EQ(fromMan, help);
}

TEST(ExitStatus, TheStationsEndIsHaltedThenFailedThenFine) {
    struct Row {
        bool halted;
        int failed;
        int status;
    };
    for (const Row& row : {Row{false, 0, 0}, Row{false, 2, 1}, Row{true, 1, 3}, Row{true, 0, 3}}) {
        station::Board end;
        end.halted = row.halted;
        end.counts.failed = row.failed;
        end.counts.programmed = 5;
        EXPECT_EQ(station::EndStatus(end), row.status) << row.halted << " " << row.failed;
    }
}

}  // namespace
}  // namespace usbisp
