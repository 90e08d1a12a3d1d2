#pragma once
// Watches that an SQLite database's file is still the one the server opened: a file deleted,
// replaced or truncated under a running server would take every later store with it, while
// the server kept acknowledging them.
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace appserver {

class DatabaseFileGuard {
public:
    // Nothing to watch for an empty path (PostgreSQL).
    explicit DatabaseFileGuard(std::string path);

    // Looks at the file again; false (and from then on for good) when it is gone.
    bool Verify();
    bool Gone() const { return gone_.load(std::memory_order_relaxed); }
    // Why it is gone, for the log.
    std::string Reason() const;

    // Every session of the server opens again before its next use once this is asked for:
    // SQLite shares one view of the database among a process's sessions, so one opened while
    // the database was read-only keeps every other read-only too.
    void AskEverySessionToReopen() { reopen_.fetch_add(1, std::memory_order_relaxed); }
    std::uint64_t ReopenRound() const { return reopen_.load(std::memory_order_relaxed); }

private:
    std::string path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    std::atomic<bool> had_content_{false};
    std::atomic<bool> gone_{false};
    std::atomic<std::uint64_t> reopen_{0};
    mutable std::mutex mutex_;
    std::string reason_;
};

}  // namespace appserver
