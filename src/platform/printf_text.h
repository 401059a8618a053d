// The system's numbers and characters in text: a printf format ("%x",
// "%02x", "%02d", "%c", "%s" ...) into a string, read as a C string, so that
// a zero byte printed with "%c" ends the text there, as it does in the
// system's own buffers. The one such helper of the tree.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>

namespace usbisp {

template <typename... Args>
std::string Printf(const char* format, Args... args) {
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    text.resize(std::strlen(text.c_str()));
    return text;
}

}  // namespace usbisp
