#include "case_table.h"

#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "support/test_support.h"

namespace usbisp::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// One [table], [path NAME] or [row NAME] section: its keys (a key may come
// more than once) and its blocks of lines.
struct Section {
    std::string kind;
    std::string name;
    std::map<std::string, std::vector<std::string>> keys;
    std::map<std::string, std::vector<std::string>> blocks;

    const std::string* Key(const std::string& key) const {
        auto it = keys.find(key);
        return it == keys.end() || it->second.empty() ? nullptr : &it->second.front();
    }
    std::vector<std::string> All(const std::string& key) const {
        auto it = keys.find(key);
        return it == keys.end() ? std::vector<std::string>{} : it->second;
    }
    const std::vector<std::string>* Block(const std::string& block) const {
        auto it = blocks.find(block);
        return it == blocks.end() ? nullptr : &it->second;
    }
};

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what);
}

bool IsBlockStart(const std::string& line) {
    return line.size() > 1 && line[0] == '@' && line.find(' ') == std::string::npos;
}

std::vector<Section> Parse(const std::string& text) {
    std::vector<Section> sections;
    std::istringstream in(text);
    std::vector<std::string>* block = nullptr;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        line.erase(line.find_last_not_of(" \t\r") + 1);
        if (line.empty() || line[0] == '#') continue;
        const std::string where = "line " + std::to_string(number);
        if (line.front() == '[' && line.back() == ']') {
            const std::vector<std::string> words = Words(line.substr(1, line.size() - 2));
            if (words.empty() || words.size() > 2) Fail(where + ": a section is [KIND NAME]");
            sections.push_back({words[0], words.size() > 1 ? words[1] : "", {}, {}});
            block = nullptr;
            continue;
        }
        if (sections.empty()) Fail(where + ": text before the first section");
        Section& section = sections.back();
        if (IsBlockStart(line)) {
            block = &section.blocks[line.substr(1)];
            continue;
        }
        if (block) {
            block->push_back(line);
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) Fail(where + ": neither KEY = VALUE nor a block line");
        std::string key = line.substr(0, equals);
        key.erase(key.find_last_not_of(' ') + 1);
        std::string value = line.substr(equals + 1);
        if (!value.empty() && value[0] == ' ') value.erase(0, 1);
        section.keys[key].push_back(value);
    }
    return sections;
}

// Fills the row's text for one path: {NAME} is a value of the row, else a
// value or block of the path, else of the table; {A|B|...} is the row's own
// choice for this path, one alternative per path of the row in its order. A
// line in which a value or an alternative is "-" is left out on that path.
class Expander {
  public:
    Expander(const Section& table, const Section& path, const Section& row, std::size_t index,
             std::size_t count)
        : table_(table), path_(path), row_(row), index_(index), count_(count) {}

    // The line as lines (a block stands on a line of its own); none when left
    // out.
    std::vector<std::string> Lines(const std::string& line, int depth = 0) const {
        if (depth > 8) Fail("values refer to each other in a circle: " + line);
        if (line.size() > 2 && line.front() == '{' && line.back() == '}' &&
            line.find_first_of("{}|", 1) == line.size() - 1) {
            if (const std::vector<std::string>* block =
                    Find(line.substr(1, line.size() - 2)).block) {
                std::vector<std::string> lines;
                for (const std::string& inner : *block)
                    for (std::string& out : Lines(inner, depth + 1))
                        lines.push_back(std::move(out));
                return lines;
            }
        }
        std::optional<std::string> text = Text(line, depth);
        if (!text) return {};
        return {*text};
    }

    // Inline text; nothing when a piece of it is "-". A brace followed by a
    // quote, a blank or a closing brace is JSON's own and stays.
    std::optional<std::string> Text(const std::string& text, int depth = 0) const {
        if (depth > 8) Fail("values refer to each other in a circle: " + text);
        std::string out;
        std::size_t at = 0;
        while (true) {
            std::size_t open = text.find('{', at);
            while (open != std::string::npos &&
                   (open + 1 == text.size() ||
                    std::string("\" }").find(text[open + 1]) != std::string::npos))
                open = text.find('{', open + 1);
            if (open == std::string::npos) break;
            const std::size_t close = text.find('}', open);
            if (close == std::string::npos) Fail("an unclosed { in: " + text);
            out += text.substr(at, open - at);
            const std::string inside = text.substr(open + 1, close - open - 1);
            std::string piece;
            if (inside.find('|') != std::string::npos) {
                std::vector<std::string> choices;
                std::istringstream parts(inside);
                for (std::string part; std::getline(parts, part, '|');) choices.push_back(part);
                if (inside.back() == '|') choices.emplace_back();
                if (choices.size() != count_)
                    Fail("{" + inside + "} has " + std::to_string(choices.size()) +
                         " alternatives for " + std::to_string(count_) + " paths");
                piece = choices[index_];
            } else {
                const Found found = Find(inside);
                if (found.block) Fail("the block {" + inside + "} inside a line: " + text);
                if (!found.value) Fail("no value {" + inside + "} on path " + path_.name);
                std::optional<std::string> expanded = Text(*found.value, depth + 1);
                if (!expanded) return std::nullopt;
                piece = *expanded;
            }
            if (piece == "-") return std::nullopt;
            out += piece;
            at = close + 1;
        }
        return out + text.substr(at);
    }

  private:
    // A value or a block; the row's values, then the path's, then the table's.
    struct Found {
        const std::string* value = nullptr;
        const std::vector<std::string>* block = nullptr;
    };
    Found Find(const std::string& name) const {
        if (const std::string* value = row_.Key(name)) return {value, nullptr};
        for (const Section* s : {&path_, &table_}) {
            if (const std::string* value = s->Key(name)) return {value, nullptr};
            if (const std::vector<std::string>* block = s->Block(name)) return {nullptr, block};
        }
        return {};
    }

    const Section& table_;
    const Section& path_;
    const Section& row_;
    std::size_t index_;
    std::size_t count_;
};

json ParseJson(const std::string& text, const std::string& what) {
    try {
        return json::parse(text);
    } catch (const json::exception& e) {
        Fail(what + ": " + e.what());
    }
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

// A fixture file cut or lengthened with zero bytes: "NAME SIZE", NAME taken
// from the last of the case's fixtures that holds it.
std::string Resized(const std::string& entry, const std::vector<std::string>& fixtures,
                    const fs::path& casesRoot, std::string& name) {
    const std::vector<std::string> words = Words(entry);
    if (words.size() != 2) Fail("resize = NAME SIZE, not: " + entry);
    name = words[0];
    for (auto it = fixtures.rbegin(); it != fixtures.rend(); ++it) {
        const fs::path file = casesRoot / "fixtures" / *it / name;
        if (!fs::exists(file)) continue;
        std::string bytes = ReadFile(file);
        bytes.resize(std::stoul(words[1]), '\0');
        return bytes;
    }
    Fail("no fixture holds " + name);
}

TableCase Expand(const Section& table, const Section& path, const Section& row, std::size_t index,
                 std::size_t count, const fs::path& casesRoot, const std::string& group) {
    TableCase c;
    c.name = group + "/" + row.name + "/" + path.name;
    const Expander expand(table, path, row, index, count);
    auto text = [&](const std::string& value) {
        std::optional<std::string> out = expand.Text(value);
        if (!out) Fail("\"-\" in " + value);
        return *out;
    };
    auto block = [&](const Section& section, const std::string& name) {
        std::vector<std::string> lines;
        if (const std::vector<std::string>* found = section.Block(name))
            for (const std::string& line : *found)
                for (std::string& out : expand.Lines(line)) lines.push_back(std::move(out));
        return lines;
    };

    json bench = json::object();
    for (const Section* s : {&table, &path, &row})
        for (const std::string& machine : s->All("machine"))
            bench.merge_patch(ParseJson(text(machine), "machine"));
    const json common =
        ParseJson(text(table.Key("reader") ? *table.Key("reader") : "{}"), "reader");
    std::vector<std::string> readers = row.All("reader");
    if (readers.empty()) readers.emplace_back("{}");
    bench["readers"] = json::array();
    for (const std::string& reader : readers) {
        json r = common;
        r.merge_patch(ParseJson(text(reader), "reader"));
        bench["readers"].push_back(r);
    }

    std::vector<std::string> script = block(path, "script");
    for (std::string& line : block(row, "script")) script.push_back(std::move(line));
    script.emplace_back("click Close");
    if (!row.Block("expect")) Fail("no @expect");
    std::vector<std::string> expected = block(path, "start");
    for (std::string& line : block(row, "expect")) expected.push_back(std::move(line));
    expected.emplace_back("end ok");

    std::vector<std::string> fixtures;
    for (const Section* s : {&table, &row})
        for (const std::string& value : s->All("fixtures"))
            for (std::string& word : Words(value)) fixtures.push_back(std::move(word));
    std::vector<std::string> faults;
    for (const std::string& value : row.All("faults"))
        for (std::string& word : Words(text(value))) faults.push_back(std::move(word));

    c.files = {{"bench.json", bench.dump(1) + "\n"},
               {"script.txt", Joined(script)},
               {"expected.txt", Joined(expected)},
               {"fixtures", Joined(fixtures)},
               {"faults", Joined(faults)}};
    for (const std::string& entry : row.All("resize")) {
        std::string name;
        std::string bytes = Resized(text(entry), fixtures, casesRoot, name);
        c.files.emplace_back("files/" + name, std::move(bytes));
    }
    return c;
}

}  // namespace

std::vector<TableCase> ExpandTable(const fs::path& table, const fs::path& casesRoot) {
    const std::string group = table.parent_path().filename().string();
    std::vector<TableCase> cases;
    std::string where = table.string();
    try {
        const std::vector<Section> sections = Parse(ReadFile(table));
        static const Section kNoTable{"table", "", {}, {}};
        const Section* common = &kNoTable;
        std::map<std::string, const Section*> paths;
        for (const Section& s : sections) {
            if (s.kind == "table") common = &s;
            if (s.kind == "path") paths[s.name] = &s;
        }
        for (const Section& row : sections) {
            if (row.kind == "table" || row.kind == "path") continue;
            if (row.kind != "row") Fail("unknown section [" + row.kind + "]");
            where = table.string() + ", row " + row.name;
            const std::vector<std::string> rowPaths =
                Words(row.Key("paths") ? *row.Key("paths") : "");
            if (rowPaths.empty()) Fail("no paths");
            for (std::size_t i = 0; i < rowPaths.size(); ++i) {
                auto found = paths.find(rowPaths[i]);
                if (found == paths.end()) Fail("no [path " + rowPaths[i] + "]");
                where = table.string() + ", row " + row.name + ", path " + rowPaths[i];
                cases.push_back(
                    Expand(*common, *found->second, row, i, rowPaths.size(), casesRoot, group));
            }
        }
    } catch (const std::exception& e) {
        TableCase broken;
        broken.name = group + "/table";
        broken.error = where + ": " + e.what();
        cases.push_back(broken);
    }
    return cases;
}

fs::path WriteTableCase(const TableCase& c, const fs::path& root) {
    const fs::path dir = root / c.name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const auto& [name, content] : c.files) {
        const fs::path file = dir / name;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
    }
    return dir;
}

}  // namespace usbisp::test
