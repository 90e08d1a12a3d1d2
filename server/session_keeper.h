#pragma once
// One database session of the server's, opened on first use and again after it was lost.
// After a failed attempt the next waits a while, growing while the database stays away, so
// that a server with the database down does not hammer it with connection attempts.
#include <chrono>
#include <memory>
#include <string>

#include "hostlib/db/data_module.h"

namespace appserver {

class SessionKeeper {
public:
    SessionKeeper(std::string url, hostlib::SessionOptions options, std::string name);
    ~SessionKeeper();

    // The open data module; raises EDatabaseError (ConnectionFailed) when it cannot be
    // opened, or when the last attempt failed too recently to try again.
    hostlib::TdtmDBGeral& Database();
    bool IsOpen() const { return database_ != nullptr; }
    // Forgets a session that was lost; the next use opens a new one at once.
    void Drop() noexcept;
    // Changes with every session opened, so that what was prepared on an old one is stale.
    std::uint64_t Generation() const { return generation_; }
    // How many times a session was tried for (metrics, and to see the back-off work).
    std::uint64_t Attempts() const { return attempts_; }

private:
    using Clock = std::chrono::steady_clock;
    std::string url_;
    hostlib::SessionOptions options_;
    std::string name_;
    std::unique_ptr<hostlib::TdtmDBGeral> database_;
    std::uint64_t generation_ = 0;
    std::uint64_t attempts_ = 0;
    Clock::time_point next_attempt_{};
    std::chrono::milliseconds backoff_{0};
};

}  // namespace appserver
