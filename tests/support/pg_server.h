// A PostgreSQL server of the test's own: a cluster made with initdb in a
// temporary directory and started with pg_ctl, listening on a Unix socket in
// that directory only (no TCP port). The server refuses to run as root, so a
// test that runs as root makes the directory over to "nobody" and runs
// initdb, pg_ctl and the server as that user. Stopped and removed when the
// object goes.
#pragma once

#include <string>

namespace usbisp::test {

class PgServer {
  public:
    PgServer() = default;
    ~PgServer();
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    // False with `error` when the server's programs are missing or it does
    // not start. Not `durable`: nothing is flushed to the disk (tests); a
    // durable server flushes every commit, as a line's server does.
    bool Start(std::string& error, bool durable = false);
    // The connection string of a fresh, empty database of that name.
    std::string NewDatabase(const std::string& name, std::string& error);
    // A fast shutdown and a start again: every connection is cut.
    bool Restart(std::string& error);
    bool Stop();

    const std::string& directory() const { return dir_; }
    std::string Url(const std::string& database) const;

  private:
    bool Run(const std::string& command, std::string& error) const;

    std::string bin_;
    std::string dir_;
    bool running_ = false;
};

}  // namespace usbisp::test
