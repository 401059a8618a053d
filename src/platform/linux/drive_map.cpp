#include "platform/linux/drive_map.h"

#include <cctype>

namespace usbisp::lnx {

std::optional<LinuxDrive> ParseDriveOption(std::string_view text, std::string& error) {
    const char letter =
        text.empty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (text.size() < 3 || text[1] != '=' || letter < 'C' || letter > 'Z') {
        error = "\"" + std::string(text) + "\" is not LETTER=DEVICE with a letter C to Z";
        return std::nullopt;
    }
    return LinuxDrive{letter, std::string(text.substr(2)), {}, {}};
}

}  // namespace usbisp::lnx
