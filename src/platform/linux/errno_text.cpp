#include "platform/linux/errno_text.h"

#include <cstring>

namespace usbisp::lnx {

std::string ErrnoText(int error) {
    const char* name = strerrorname_np(error);
    const std::string text = std::strerror(error);
    if (name == nullptr) return "errno " + std::to_string(error) + " (" + text + ")";
    return std::string(name) + " (" + text + ")";
}

}  // namespace usbisp::lnx
