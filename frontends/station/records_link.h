// One connection to the line's database (libpq). Every statement goes with
// its values as parameters, in text; what comes back is cut to bounds before
// the station keeps it: at most kMaxRows rows, each value at most
// kMaxValueBytes bytes. A connection that broke stays broken until Reconnect,
// which the station calls with a growing pause between tries.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

namespace usbisp::station {

inline constexpr std::size_t kMaxRows = 100000;
inline constexpr std::size_t kMaxValueBytes = 4096;

struct DbResult {
    bool ok = false;
    std::string error;  // one line, when not ok
    // Values as text; none for NULL.
    std::vector<std::vector<std::optional<std::string>>> rows;
    bool truncated = false;  // more rows came than were kept
};

class DbLink {
  public:
    DbLink() = default;
    ~DbLink();
    DbLink(const DbLink&) = delete;
    DbLink& operator=(const DbLink&) = delete;

    // A libpq connection string or postgresql:// URL. False with `error`.
    bool Connect(const std::string& url, std::string& error);
    // Closes the connection and opens it again.
    bool Reconnect(std::string& error);
    bool Connected() const;
    DbResult Exec(const std::string& sql, const std::vector<std::string>& params = {});
    // Several statements without parameters, as one transaction.
    DbResult Script(const std::string& sql);
    // The server process of this connection (pg_terminate_backend's argument).
    int BackendPid() const;

  private:
    void Close();
    DbResult Take(pg_result* res);

    std::string url_;
    pg_conn* conn_ = nullptr;
};

// Pauses between tries to reach a server that went away: the first try at
// once, then 100 ms, doubled up to a ceiling of 5 s; a success starts afresh.
class Backoff {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kFirst{100};
    static constexpr std::chrono::milliseconds kCeiling{5000};

    bool Due(Clock::time_point now) const { return now >= next_; }
    void Failed(Clock::time_point now);
    void Succeeded();
    std::chrono::milliseconds pause() const { return pause_; }

  private:
    Clock::time_point next_{};
    std::chrono::milliseconds pause_{0};
};

// The text of libpq's message on one line, bounded.
std::string OneLine(const char* message);

}  // namespace usbisp::station
