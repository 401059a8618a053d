#include "station/records_link.h"

#include <libpq-fe.h>

#include <algorithm>

namespace usbisp::station {

namespace {

// A station waits at most this long for a server to answer a connection; a
// socket that goes quiet (a cable pulled) is given up after the same.
constexpr const char* kConnectTimeoutSeconds = "5";
constexpr const char* kUserTimeoutMs = "5000";
constexpr const char* kApplicationName = "usbisp station";

}  // namespace

std::string OneLine(const char* message) {
    std::string text;
    // libpq's messages run over lines, the next one indented with a tab.
    for (const char* c = message ? message : ""; *c && text.size() < kMaxValueBytes; ++c) {
        const bool blank = static_cast<unsigned char>(*c) < 0x20 || *c == ' ';
        if (!blank) {
            text += *c;
        } else if (!text.empty() && text.back() != ' ') {
            text += ' ';
        }
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

DbLink::~DbLink() {
    Close();
}

void DbLink::Close() {
    if (conn_) PQfinish(conn_);
    conn_ = nullptr;
}

bool DbLink::Connect(const std::string& url, std::string& error) {
    url_ = url;
    return Reconnect(error);
}

bool DbLink::Reconnect(std::string& error) {
    Close();
    // The settings before dbname are defaults: the URL's own win.
    const char* keys[] = {"connect_timeout", "tcp_user_timeout", "application_name", "dbname",
                          nullptr};
    const char* values[] = {kConnectTimeoutSeconds, kUserTimeoutMs, kApplicationName, url_.c_str(),
                            nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (!conn_) {
        error = "out of memory for a database connection";
        return false;
    }
    if (PQstatus(conn_) != CONNECTION_OK) {
        error = OneLine(PQerrorMessage(conn_));
        Close();
        return false;
    }
    return true;
}

bool DbLink::Connected() const {
    return conn_ && PQstatus(conn_) == CONNECTION_OK;
}

int DbLink::BackendPid() const {
    return conn_ ? PQbackendPID(conn_) : 0;
}

DbResult DbLink::Exec(const std::string& sql, const std::vector<std::string>& params) {
    DbResult result;
    if (!conn_) {
        result.error = "no connection to the database";
        return result;
    }
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const std::string& p : params) values.push_back(p.c_str());
    return Take(PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                             values.data(), nullptr, nullptr, 0));
}

DbResult DbLink::Script(const std::string& sql) {
    if (!conn_) {
        DbResult result;
        result.error = "no connection to the database";
        return result;
    }
    return Take(PQexec(conn_, sql.c_str()));
}

DbResult DbLink::Take(PGresult* res) {
    DbResult result;
    const ExecStatusType status = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        result.error = OneLine(res ? PQresultErrorMessage(res) : PQerrorMessage(conn_));
        if (result.error.empty()) result.error = OneLine(PQerrorMessage(conn_));
        PQclear(res);
        return result;
    }
    const int rows = std::max(0, PQntuples(res));
    const int columns = std::max(0, PQnfields(res));
    const std::size_t kept = std::min<std::size_t>(static_cast<std::size_t>(rows), kMaxRows);
    result.truncated = kept < static_cast<std::size_t>(rows);
    result.rows.reserve(kept);
    for (std::size_t r = 0; r < kept; ++r) {
        std::vector<std::optional<std::string>> row;
        for (int c = 0; c < columns; ++c) {
            const int ri = static_cast<int>(r);
            if (PQgetisnull(res, ri, c)) {
                row.emplace_back();
                continue;
            }
            const auto length = static_cast<std::size_t>(std::max(0, PQgetlength(res, ri, c)));
            row.emplace_back(std::string(PQgetvalue(res, ri, c), std::min(length, kMaxValueBytes)));
        }
        result.rows.push_back(std::move(row));
    }
    PQclear(res);
    result.ok = true;
    return result;
}

void Backoff::Failed(Clock::time_point now) {
    pause_ = pause_.count() == 0 ? kFirst : std::min(pause_ * 2, kCeiling);
    next_ = now + pause_;
}

void Backoff::Succeeded() {
    pause_ = std::chrono::milliseconds{0};
    next_ = Clock::time_point{};
}

}  // namespace usbisp::station
