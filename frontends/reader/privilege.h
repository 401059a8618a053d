// The user usbisp-reader serves as once root's work on the gadget is done.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace usbisp::reader {

struct ServiceUser {
    uid_t uid = 0;
    gid_t gid = 0;
};

// "UID:GID", neither of them root's.
std::optional<ServiceUser> ParseServiceUser(const std::string& text, std::string& error);

// FunctionFS's mount options that give its files to `user`.
std::string FunctionFsOwner(const ServiceUser& user);

// Gives up root for good: the supplementary groups, then the group, then the
// user. False with `error` set when a step fails or root could be had back.
bool DropTo(const ServiceUser& user, std::string& error);

}  // namespace usbisp::reader
