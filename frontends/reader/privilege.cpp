#include "reader/privilege.h"

#include <grp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/printf_text.h"

namespace usbisp::reader {

namespace {

// A decimal number below 2^31, digits only.
std::optional<unsigned> Id(const std::string& text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    unsigned long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (value > 0x7FFFFFFFul) return std::nullopt;
    return static_cast<unsigned>(value);
}

}  // namespace

std::optional<ServiceUser> ParseServiceUser(const std::string& text, std::string& error) {
    // Numbers, not names: the program is linked statically, and the C
    // library's user database needs its shared libraries to read names.
    const std::size_t colon = text.find(':');
    const auto uid = colon == std::string::npos ? std::nullopt : Id(text.substr(0, colon));
    const auto gid = colon == std::string::npos ? std::nullopt : Id(text.substr(colon + 1));
    if (!uid || !gid) {
        error = "--user " + text + " is not UID:GID";
        return std::nullopt;
    }
    if (*uid == 0 || *gid == 0) {
        error = "--user " + text + " is root or root's group: no privilege would be given up";
        return std::nullopt;
    }
    return ServiceUser{static_cast<uid_t>(*uid), static_cast<gid_t>(*gid)};
}

std::string FunctionFsOwner(const ServiceUser& user) {
    return Printf("uid=%u,gid=%u", static_cast<unsigned>(user.uid),
                  static_cast<unsigned>(user.gid));
}

bool DropTo(const ServiceUser& user, std::string& error) {
    auto failed = [&](const char* step) {
        error = std::string("cannot give up root (") + step + "): " + std::strerror(errno);
        return false;
    };
    if (setgroups(0, nullptr) != 0) return failed("setgroups");
    if (setresgid(user.gid, user.gid, user.gid) != 0) return failed("setresgid");
    if (setresuid(user.uid, user.uid, user.uid) != 0) return failed("setresuid");
    if (setuid(0) == 0 || geteuid() != user.uid || getegid() != user.gid) {
        error = "cannot give up root: root could be had back";
        return false;
    }
    return true;
}

}  // namespace usbisp::reader
