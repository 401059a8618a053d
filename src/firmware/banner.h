// The lines every firmware run starts its status text with.
#pragma once

#include <cstring>
#include <string>

#include "view/operator_messages.h"

namespace usbisp {

// The banner's own rule and lines, kept letter for letter with their spacing.
inline constexpr const char* kRule = "========================================================";

// The rule (starting the status text afresh), the title line and the rule.
inline void StartBanner(const OperatorMessages& messages, const char* title) {
    messages.statusText = kRule;
    messages.Line(title);
    messages.Line(kRule);
}

// A NUL-padded name field as text.
template <std::size_t N>
std::string FieldText(const std::array<char, N>& field) {
    return std::string(field.data(), strnlen(field.data(), N));
}

// "==  ROMCODE = %s || VxD DRIVER = %s " and the rule.
inline void RomCodeLines(const OperatorMessages& messages, const std::string& romCodeFile,
                         const std::string& driverFileName) {
    messages.Line("==  ROMCODE = " + romCodeFile + " || VxD DRIVER = " + driverFileName + " ");
    messages.Line(kRule);
}

}  // namespace usbisp
