#include "program_names.h"

#include <cctype>

namespace wine_driver {

std::string NameProcesses(const std::string& text, const std::vector<unsigned long>& processIds) {
    static const std::string kWord = "process ";
    std::string named;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(kWord, from)) != std::string::npos;) {
        const std::size_t digits = at + kWord.size();
        std::size_t end = digits;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
        named += text.substr(from, digits - from);
        from = digits;
        const std::string id = text.substr(digits, end - digits);
        for (std::size_t n = 0; n < processIds.size(); ++n) {
            if (std::to_string(processIds[n]) != id) continue;
            named += "#" + std::to_string(n + 1);
            from = end;
            break;
        }
    }
    return named + text.substr(from);
}

}  // namespace wine_driver
