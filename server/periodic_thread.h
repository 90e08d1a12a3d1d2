#pragma once
// A thread that runs some work every period until stopped; stopping wakes it at once and
// waits for the round under way to end.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace appserver {

class PeriodicThread {
public:
    PeriodicThread(std::chrono::milliseconds period, std::function<void()> work)
        : period_(period), work_(std::move(work)) {}
    ~PeriodicThread() { Stop(); }
    PeriodicThread(const PeriodicThread&) = delete;
    PeriodicThread& operator=(const PeriodicThread&) = delete;

    void Start() {
        if (thread_.joinable()) return;
        stopping_ = false;
        thread_ = std::thread([this] {
            std::unique_lock lock(mutex_);
            while (!wake_.wait_for(lock, period_, [this] { return stopping_; })) {
                lock.unlock();
                work_();
                lock.lock();
            }
        });
    }
    void Stop() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable()) thread_.join();
    }

private:
    std::chrono::milliseconds period_;
    std::function<void()> work_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace appserver
