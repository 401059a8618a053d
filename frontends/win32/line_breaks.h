// The system builds its texts with "\n" line breaks; Windows edit controls
// break lines only at "\r\n".
#pragma once

#include <string>
#include <string_view>

namespace usbisp::win32 {

// Every "\n" not already preceded by "\r" becomes "\r\n".
inline std::string ToWindowsLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

// The reverse, for reading a control back: every "\r\n" becomes "\n".
inline std::string FromWindowsLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

}  // namespace usbisp::win32
