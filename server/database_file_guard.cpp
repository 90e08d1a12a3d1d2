#include "database_file_guard.h"

#include <sys/stat.h>

namespace appserver {

DatabaseFileGuard::DatabaseFileGuard(std::string path) : path_(std::move(path)) {
    struct stat info {};
    if (path_.empty() || ::stat(path_.c_str(), &info) != 0) return;
    device_ = info.st_dev;
    inode_ = info.st_ino;
    had_content_.store(info.st_size > 0);
}

bool DatabaseFileGuard::Verify() {
    if (path_.empty()) return true;
    if (Gone()) return false;
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
    if (reason.empty()) return true;
    std::lock_guard lock(mutex_);
    if (reason_.empty()) reason_ = reason;
    gone_.store(true, std::memory_order_relaxed);
    return false;
}

std::string DatabaseFileGuard::Reason() const {
    std::lock_guard lock(mutex_);
    return reason_;
}

}  // namespace appserver
