#include "database_file_guard.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace appserver {

namespace {

// Whether one of this process's descriptors is open on `path` after the file was deleted
// (the kernel names such a descriptor's file "PATH (deleted)").
bool HeldOpenAfterDeletion(const std::string& path) {
    DIR* descriptors = ::opendir("/proc/self/fd");
    if (descriptors == nullptr) return false;
    const std::string deleted = path + " (deleted)";
    bool held = false;
    char target[4096];
    while (const dirent* entry = ::readdir(descriptors)) {
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
        if (length <= 0) continue;
        if (deleted.compare(0, std::string::npos, target, static_cast<std::size_t>(length)) == 0) {
            held = true;
            break;
        }
    }
    ::closedir(descriptors);
    return held;
}

}  // namespace

DatabaseFileGuard::DatabaseFileGuard(std::string path) : path_(std::move(path)) {
    log_.path = path_ + "-wal";
    shared_memory_.path = path_ + "-shm";
    struct stat info {};
    if (path_.empty() || ::stat(path_.c_str(), &info) != 0) return;
    device_ = info.st_dev;
    inode_ = info.st_ino;
    had_content_.store(info.st_size > 0);
}

bool DatabaseFileGuard::RemovedWhileHeld(Sidecar& sidecar) {
    struct stat info {};
    const bool exists = ::stat(sidecar.path.c_str(), &info) == 0;
    // The usual case: the file this process has been using is there.
    if (exists && sidecar.seen && info.st_dev == sidecar.device && info.st_ino == sidecar.inode) return false;
    // Missing or another file: deleted under descriptors still open, or let go of by SQLite
    // itself when its last connection closed (then made anew), which is no loss.
    if (HeldOpenAfterDeletion(sidecar.path)) return true;
    sidecar.seen = exists;
    sidecar.device = info.st_dev;
    sidecar.inode = info.st_ino;
    return false;
}

FileCheck DatabaseFileGuard::Check() {
    if (path_.empty()) return FileCheck::Intact;
    if (Gone()) return FileCheck::Gone;
    struct stat info {};
    std::string reason;
    if (::stat(path_.c_str(), &info) != 0) {
        reason = "o arquivo " + path_ + " não existe mais";
    } else if (info.st_dev != device_ || info.st_ino != inode_) {
        reason = "o arquivo " + path_ + " foi substituído por outro";
    } else if (info.st_size > 0) {
        had_content_.store(true, std::memory_order_relaxed);
    } else if (had_content_.load(std::memory_order_relaxed)) {
        reason = "o arquivo " + path_ + " foi truncado";
    }
    if (!reason.empty()) {
        MarkGone(reason);
        return FileCheck::Gone;
    }
    std::lock_guard lock(mutex_);
    if (RemovedWhileHeld(log_) || RemovedWhileHeld(shared_memory_)) return FileCheck::LogRemoved;
    return FileCheck::Intact;
}

void DatabaseFileGuard::MarkGone(const std::string& reason) {
    std::lock_guard lock(mutex_);
    if (reason_.empty()) reason_ = reason;
    gone_.store(true, std::memory_order_relaxed);
}

std::string DatabaseFileGuard::Reason() const {
    std::lock_guard lock(mutex_);
    return reason_;
}

}  // namespace appserver
