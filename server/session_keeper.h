#pragma once
// One database session of the server's, opened on first use and again after it was lost.
// After a failed attempt the next waits a while, growing while the database stays away, so
// that a server with the database down does not hammer it with connection attempts.
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "core/db/database_session.h"

namespace appserver {

class SessionKeeper {
public:
    SessionKeeper(std::string url, hostlib::SessionOptions options);
    ~SessionKeeper();
    SessionKeeper(const SessionKeeper&) = delete;
    SessionKeeper& operator=(const SessionKeeper&) = delete;

    // The open data module; raises EDatabaseError (ConnectionFailed) when it cannot be
    // opened, or when the last attempt failed too recently to try again.
    hostlib::DatabaseSession& Database();
    bool IsOpen() const { return database_ != nullptr; }
    // Forgets a session that was lost; the next use opens a new one at once.
    void Drop() noexcept;
    // Changes with every session opened, so that what was prepared on an old one is stale.
    std::uint64_t Generation() const { return generation_; }
    // How many times a session was tried for (metrics, and to see the back-off work).
    std::uint64_t Attempts() const { return attempts_; }

    // Marks the time spent waiting on the database, so that a database that stopped
    // answering (a frozen server keeps the connection open and its timeouts with it) can be
    // cut off from outside.
    class Call {
    public:
        explicit Call(SessionKeeper& keeper);
        ~Call();
        Call(const Call&) = delete;
        Call& operator=(const Call&) = delete;

    private:
        SessionKeeper& keeper_;
    };
    // Called from another thread: cuts the connection of a call older than `deadline`, so
    // that the call fails as a lost connection. True when it did.
    bool CutIfStuck(std::chrono::steady_clock::duration deadline);

private:
    using Clock = std::chrono::steady_clock;
    void SetSocket(int socket);

    std::string url_;
    hostlib::SessionOptions options_;
    std::unique_ptr<hostlib::DatabaseSession> database_;
    std::uint64_t generation_ = 0;
    std::uint64_t attempts_ = 0;
    Clock::time_point next_attempt_{};
    std::chrono::milliseconds backoff_{0};
    std::atomic<std::int64_t> call_since_{0};  // steady-clock ticks; 0: no call under way
    std::atomic<bool> cut_{false};             // the last session was cut: wait before the next
    std::mutex socket_mutex_;
    int socket_ = -1;  // the PostgreSQL connection's, -1 when none
};

}  // namespace appserver
