// The action script: every text is either refused with its line or parsed
// into actions that name what exists.
#include <string>

#include "script/action_script.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace usbisp::script;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto actions = ParseActionScript(text, error);
    if (!actions) {
        if (error.rfind("line ", 0) != 0) __builtin_trap();
        return 0;
    }
    for (const Action& action : *actions) {
        if (action.line < 1) __builtin_trap();
        if (action.kind == Action::Kind::Click && !IsClickableCaption(action.caption))
            __builtin_trap();
        if (action.kind == Action::Kind::Select && action.listId != 1027 && action.listId != 1030)
            __builtin_trap();
        if (action.kind == Action::Kind::Dump && action.reader < 1) __builtin_trap();
    }
    return 0;
}
