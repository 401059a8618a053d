// Cases written as one table of rows × access paths (a group's table.txt; the
// format is in README.md beside it). A row gives its actions and its expected
// lines once; a path gives what differs on it: its machine, the actions that
// bring it up, its start-up transcript and named pieces of text. Expanding the
// table gives one ordinary case per row and path.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace usbisp::test {

struct TableCase {
    std::string name;  // "<group>/<row>/<path>"
    // What a case folder holds, file name and content: bench.json, script.txt,
    // expected.txt, fixtures, faults and files/NAME.
    std::vector<std::pair<std::string, std::string>> files;
    // Set when the table cannot be read; the case then fails with it.
    std::string error;
};

// The cases of `table` (a table.txt under `casesRoot`, whose fixtures it may
// name).
std::vector<TableCase> ExpandTable(const std::filesystem::path& table,
                                   const std::filesystem::path& casesRoot);

// Writes the case as a folder `root`/<name> (replacing an earlier one) and
// returns its path.
std::filesystem::path WriteTableCase(const TableCase& c, const std::filesystem::path& root);

}  // namespace usbisp::test
