// The user usbisp-reader serves as: how --user is read, what FunctionFS is
// told, and that the root it gives up stays given up.
#include "reader/privilege.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace usbisp {
namespace {

TEST(ServiceUser, ReadFromTheCommandLine) {
    struct Row {
        std::string text;
        std::string error;  // empty: accepted, as "uid=..,gid=.."
    };
    const Row rows[] = {
        {"1002:1002", "uid=1002,gid=1002"},
        {"65534:100", "uid=65534,gid=100"},
        {"2147483647:1", "uid=2147483647,gid=1"},
        {"2147483648:1", "--user 2147483648:1 is not UID:GID"},
        {"0:1002", "--user 0:1002 is root or root's group: no privilege would be given up"},
        {"1002:0", "--user 1002:0 is root or root's group: no privilege would be given up"},
        {"reader", "--user reader is not UID:GID"},
        {"1002", "--user 1002 is not UID:GID"},
        {"1002:", "--user 1002: is not UID:GID"},
        {":1002", "--user :1002 is not UID:GID"},
        {"-1:1002", "--user -1:1002 is not UID:GID"},
        {"1002:1002:1", "--user 1002:1002:1 is not UID:GID"},
        {"+12:12", "--user +12:12 is not UID:GID"},
    };
    for (const Row& row : rows) {
        std::string error;
        const auto user = reader::ParseServiceUser(row.text, error);
        EXPECT_EQ(user ? reader::FunctionFsOwner(*user) : error, row.error) << row.text;
    }
}

TEST(ServiceUser, RootGivenUpStaysGivenUp) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string error;
        const bool dropped = reader::DropTo({65534, 65534}, error);
        gid_t groups[4];
        const bool kept = dropped && getuid() == 65534 && geteuid() == 65534 && getgid() == 65534 &&
                          getgroups(4, groups) == 0 && setuid(0) != 0 && setgid(0) != 0;
        _exit(kept ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace usbisp
