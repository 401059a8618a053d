// The action script of a headless run: one action per line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace usbisp::script {

struct Action {
    enum class Kind { Click, Select, Cancel, Replug, Dump };
    Kind kind = Kind::Click;
    int line = 0;         // 1-based line in the script file
    std::string caption;  // Click
    int listId = 0;       // Select
    std::string text;     // Select: the entry; Dump: the file
    int reader = 0;       // Dump: 1-based reader number
};

// Parses and checks a whole script. On error returns nothing and sets `error`
// to "line N: what is wrong".
std::optional<std::vector<Action>> ParseActionScript(const std::string& text, std::string& error);

// The captions `click` accepts.
bool IsClickableCaption(const std::string& caption);

}  // namespace usbisp::script
