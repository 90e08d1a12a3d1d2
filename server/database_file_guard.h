#pragma once
// Watches that an SQLite database's files are still the ones the server opened: the database
// file deleted, replaced or truncated, or its write-ahead log or shared-memory file deleted
// under a running server, would take every later store with it while the server went on
// acknowledging them.
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace appserver {

enum class FileCheck {
    Intact,
    Gone,        // the database file is no longer the one opened: nothing more can be kept
    LogRemoved,  // the log or shared-memory file was deleted while this process holds it open:
                 // what it holds is saved only by a checkpoint through the descriptors still open
};

class DatabaseFileGuard {
public:
    // Nothing to watch for an empty path (PostgreSQL).
    explicit DatabaseFileGuard(std::string path);

    // Looks at the files again. Gone is for good; LogRemoved is for the caller to act on
    // (checkpoint, then MarkGone).
    FileCheck Check();
    bool Gone() const { return gone_.load(std::memory_order_relaxed); }
    // From now on the database is given up: every request is refused and the server reports
    // itself unhealthy.
    void MarkGone(const std::string& reason);
    // After LogRemoved: `checkpoint` copies what the log holds into the database file through the
    // descriptors still open; then the database is given up whatever it did. True when it
    // saved everything (what was committed up to now is in the database file).
    template <class Checkpoint>
    bool SaveLogThenGiveUp(Checkpoint&& checkpoint) {
        bool saved = false;
        try {
            saved = checkpoint();
        } catch (...) {
            saved = false;
        }
        MarkGone(saved ? "o arquivo de log ou de memória compartilhada de " + path_ +
                             " foi apagado; o que ele tinha foi salvo no arquivo principal"
                       : "o arquivo de log ou de memória compartilhada de " + path_ +
                             " foi apagado e o que ele tinha não pôde ser salvo");
        return saved;
    }
    // Why it is gone, for the log.
    std::string Reason() const;

    // Every session of the server opens again before its next use once this is asked for:
    // SQLite shares one view of the database among a process's sessions, so one opened while
    // the database was read-only keeps every other read-only too.
    void AskEverySessionToReopen() { reopen_.fetch_add(1, std::memory_order_relaxed); }
    std::uint64_t ReopenRound() const { return reopen_.load(std::memory_order_relaxed); }

private:
    // A file beside the database (its log, its shared memory), as last seen.
    struct Sidecar {
        std::string path;
        dev_t device = 0;
        ino_t inode = 0;
        bool seen = false;
    };
    bool RemovedWhileHeld(Sidecar& sidecar);

    std::string path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    std::atomic<bool> had_content_{false};
    std::atomic<bool> gone_{false};
    std::atomic<std::uint64_t> reopen_{0};
    mutable std::mutex mutex_;  // the reason and the sidecars, checked from several threads
    std::string reason_;
    Sidecar log_;
    Sidecar shared_memory_;
};

}  // namespace appserver
