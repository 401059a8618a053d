#include "tui/text_view.h"

#include <algorithm>

namespace usbisp::tui {

namespace {

constexpr int kTabWidth = 8;

// One logical line with tabs expanded and unprintable bytes replaced.
std::string Printable(const std::string& line) {
    std::string out;
    for (char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\t') {
            out.append(
                static_cast<std::size_t>(kTabWidth - static_cast<int>(out.size()) % kTabWidth),
                ' ');
        } else if (c == '\r') {
            continue;  // a carriage return moves nothing on its own
        } else if (byte < 0x20 || byte > 0x7E) {
            out += '?';
        } else {
            out += c;
        }
    }
    return out;
}

void Wrap(std::string line, std::size_t width, std::vector<std::string>& out) {
    while (line.size() > width) {
        // A blank at position `width` may go: the line then fills the area.
        const std::size_t blank = line.rfind(' ', width);
        if (blank != std::string::npos && blank > 0) {
            out.push_back(line.substr(0, blank));
            line.erase(0, blank + 1);
        } else {
            out.push_back(line.substr(0, width));
            line.erase(0, width);
        }
    }
    out.push_back(line);
}

}  // namespace

std::vector<std::string> WrapText(const std::string& text, int width) {
    std::vector<std::string> lines;
    if (text.empty()) return lines;
    const std::size_t w = static_cast<std::size_t>(std::max(width, 1));
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        Wrap(Printable(
                 text.substr(start, end == std::string::npos ? std::string::npos : end - start)),
             w, lines);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

int EndTop(int lineCount, int height) {
    return std::max(0, lineCount - std::max(height, 0));
}

int ClampTop(int top, int lineCount, int height) {
    return std::clamp(top, 0, EndTop(lineCount, height));
}

Thumb ScrollThumb(int top, int lineCount, int height, int track) {
    if (track <= 0) return {};
    if (lineCount <= height || height <= 0) return {0, track};
    const int size = std::max(1, track * height / lineCount);
    const int range = EndTop(lineCount, height);
    const int offset = (track - size) * ClampTop(top, lineCount, height) / range;
    return {offset, size};
}

}  // namespace usbisp::tui
