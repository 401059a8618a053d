#include "script/action_script.h"

#include <algorithm>
#include <iterator>
#include <sstream>
#include <string_view>

#include "view/views.h"

namespace usbisp::script {

namespace {

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool ParseNumber(const std::string& text, int& value) {
    if (text.empty() || text.size() > 6 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    value = std::stoi(text);
    return true;
}

}  // namespace

bool IsClickableCaption(const std::string& caption) {
    return ctl::ControlIdForCaption(caption) != 0;
}

std::optional<std::vector<Action>> ParseActionScript(const std::string& text, std::string& error) {
    std::vector<Action> actions;
    // Windows' Notepad starts a UTF-8 file with a byte order mark.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    std::istringstream in(text.rfind(kByteOrderMark, 0) == 0 ? text.substr(kByteOrderMark.size())
                                                             : text);
    std::string raw;
    int lineNumber = 0;
    auto fail = [&](const std::string& what) {
        error = "line " + std::to_string(lineNumber) + ": " + what;
        return std::nullopt;
    };
    while (std::getline(in, raw)) {
        ++lineNumber;
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#') continue;
        const auto space = line.find_first_of(" \t");
        const std::string verb = line.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : Trim(line.substr(space));
        Action action;
        action.line = lineNumber;
        if (verb == "click") {
            if (!IsClickableCaption(rest)) return fail("no button or check box \"" + rest + "\"");
            action.kind = Action::Kind::Click;
            action.caption = rest;
        } else if (verb == "select") {
            const auto gap = rest.find_first_of(" \t");
            int id = 0;
            if (gap == std::string::npos || !ParseNumber(rest.substr(0, gap), id))
                return fail("select needs a list id and an entry text");
            if (id != 1027 && id != 1030)
                return fail("no drop-down list " + std::to_string(id) + " (1027 or 1030)");
            action.kind = Action::Kind::Select;
            action.listId = id;
            action.text = Trim(rest.substr(gap));
        } else if (verb == "cancel" || verb == "replug") {
            if (!rest.empty()) return fail(verb + " takes nothing after it");
            action.kind = verb == "cancel" ? Action::Kind::Cancel : Action::Kind::Replug;
        } else if (verb == "dump") {
            const auto gap = rest.find_first_of(" \t");
            int reader = 0;
            if (gap == std::string::npos || !ParseNumber(rest.substr(0, gap), reader) || reader < 1)
                return fail("dump needs a reader number (1 or more) and a file name");
            action.kind = Action::Kind::Dump;
            action.reader = reader;
            action.text = Trim(rest.substr(gap));
        } else {
            return fail("unknown action \"" + verb + "\"");
        }
        actions.push_back(action);
    }
    return actions;
}

}  // namespace usbisp::script
