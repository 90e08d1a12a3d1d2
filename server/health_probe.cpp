#include "health_probe.h"

namespace appserver {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kEvery = std::chrono::milliseconds(500);
constexpr auto kInTime = std::chrono::seconds(1);
// An answer older than this no longer vouches for the database.
constexpr auto kFresh = std::chrono::milliseconds(1500);

}  // namespace

HealthProbe::HealthProbe(std::string database_url, hostlib::SessionOptions session_options, DatabaseFileGuard& file)
    : reader_(std::move(database_url), session_options, file), file_(file) {}

HealthProbe::~HealthProbe() { Stop(); }

void HealthProbe::Start() {
    if (thread_.joinable()) return;
    stopping_ = false;
    Probe();
    thread_ = std::thread([this] {
        std::unique_lock lock(mutex_);
        while (!wake_.wait_for(lock, kEvery, [this] { return stopping_; })) {
            lock.unlock();
            Probe();
            lock.lock();
        }
    });
}

void HealthProbe::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

void HealthProbe::Probe() {
    const auto start = Clock::now();
    const bool answered = reader_.Answers();
    const auto now = Clock::now();
    if (answered && now - start < kInTime)
        last_answer_.store(now.time_since_epoch().count(), std::memory_order_relaxed);
}

bool HealthProbe::Healthy() const {
    if (file_.Gone()) return false;
    const auto last = last_answer_.load(std::memory_order_relaxed);
    return last != 0 && Clock::now().time_since_epoch().count() - last < Clock::duration(kFresh).count();
}

}  // namespace appserver
