#include "platform/transcript_text.h"

#include <cstdio>

#include "platform/printf_text.h"

namespace usbisp {

std::string QuoteText(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                if (byte < 0x20 || byte > 0x7E) {
                    out += Printf("\\x%02X", byte);
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

std::string SleepEvent(std::uint32_t milliseconds) {
    return "sleep " + std::to_string(milliseconds);
}

std::string StdoutEvent(std::string_view text) {
    return "stdout " + QuoteText(text);
}

std::string IoOpenEvent(std::string_view path, bool ok, std::uint32_t access, std::uint32_t share,
                        std::uint32_t flags, std::string_view reason) {
    std::string line = "io open " + QuoteText(path) + (ok ? " ok" : " fail") +
                       " access=" + Printf("0x%x", access) + " share=" + Printf("0x%x", share) +
                       " flags=" + Printf("0x%x", flags);
    if (!reason.empty()) line += " reason=" + QuoteText(reason);
    return line;
}

std::string IoCloseEvent(std::string_view path) {
    return "io close " + QuoteText(path);
}

std::string IoIoctlEvent(std::string_view path, std::uint32_t code, std::uint32_t inSize,
                         std::uint32_t outSize, bool ok, std::string_view details,
                         std::string_view reason) {
    std::string line = "io ioctl " + QuoteText(path) + " " + Printf("0x%x", code) +
                       " in=" + std::to_string(inSize) + " out=" + std::to_string(outSize) +
                       (ok ? " ok" : " fail");
    if (!details.empty()) line += " " + std::string(details);
    if (!reason.empty()) line += " reason=" + QuoteText(reason);
    return line;
}

}  // namespace usbisp
