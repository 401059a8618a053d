#include "support/pg_server.h"

#include <glob.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "station/records_link.h"

namespace usbisp::test {

namespace {

constexpr const char* kUnprivileged = "nobody";
constexpr const char* kRole = "usbisp";

// The newest server of /usr/lib/postgresql/<version>/bin.
std::string ServerBin() {
    glob_t found{};
    std::vector<std::string> dirs;
    if (glob("/usr/lib/postgresql/*/bin/initdb", 0, nullptr, &found) == 0)
        for (std::size_t i = 0; i < found.gl_pathc; ++i) dirs.emplace_back(found.gl_pathv[i]);
    globfree(&found);
    if (dirs.empty()) return "";
    std::sort(dirs.begin(), dirs.end(), [](const std::string& a, const std::string& b) {
        return std::atoi(a.c_str() + 20) < std::atoi(b.c_str() + 20);
    });
    return dirs.back().substr(0, dirs.back().size() - std::string("/initdb").size());
}

}  // namespace

PgServer::~PgServer() {
    Stop();
}

std::string PgServer::Url(const std::string& database) const {
    return "host=" + dir_ + " user=" + kRole + " dbname=" + database;
}

bool PgServer::Run(const std::string& command, std::string& error) const {
    std::string line = command;
    if (geteuid() == 0)
        line = std::string("setpriv --reuid=") + kUnprivileged +
               " --regid=" + std::to_string(getpwnam(kUnprivileged)->pw_gid) + " --clear-groups " +
               line;
    line = "cd " + dir_ + " && " + line + " >>" + dir_ + "/commands.log 2>&1";
    if (std::system(line.c_str()) != 0) {
        error = "failed: " + command + " (see " + dir_ + "/commands.log)";
        return false;
    }
    return true;
}

bool PgServer::Start(std::string& error, bool durable) {
    bin_ = ServerBin();
    if (bin_.empty()) {
        error = "no PostgreSQL server in /usr/lib/postgresql (scripts/install-deps.sh native)";
        return false;
    }
    char pattern[] = "/tmp/usbisp-pg-XXXXXX";
    if (!mkdtemp(pattern)) {
        error = "cannot make a directory for the server";
        return false;
    }
    dir_ = pattern;
    if (geteuid() == 0) {
        const passwd* user = getpwnam(kUnprivileged);
        if (!user || chown(dir_.c_str(), user->pw_uid, user->pw_gid) != 0) {
            error = std::string("cannot give the server's directory to ") + kUnprivileged;
            return false;
        }
    }
    if (!Run(bin_ + "/initdb -D " + dir_ + "/data -U " + kRole +
                 " -A trust -E UTF8 --locale=C --no-sync",
             error))
        return false;
    running_ = true;
    return Run(bin_ + "/pg_ctl -D " + dir_ + "/data -l " + dir_ + "/server.log -w -t 60 -o \"-k " +
                   dir_ + " -c listen_addresses='' -c max_connections=60" +
                   (durable ? "" : " -c fsync=off") + "\" start",
               error);
}

bool PgServer::Restart(std::string& error) {
    return Run(bin_ + "/pg_ctl -D " + dir_ + "/data -w -t 60 -m fast restart", error);
}

std::string PgServer::NewDatabase(const std::string& name, std::string& error) {
    station::DbLink link;
    if (!link.Connect(Url("postgres"), error)) return "";
    station::DbResult made = link.Exec("CREATE DATABASE " + name);
    if (!made.ok) {
        error = made.error;
        return "";
    }
    return Url(name);
}

bool PgServer::Stop() {
    if (dir_.empty()) return true;
    std::string error;
    const bool stopped =
        !running_ || Run(bin_ + "/pg_ctl -D " + dir_ + "/data -m immediate -w stop", error);
    running_ = false;
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
    dir_.clear();
    return stopped;
}

}  // namespace usbisp::test
