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
    : reader_(std::move(database_url), session_options, file), file_(file), every_while_(kEvery, [this] { Probe(); }) {}

HealthProbe::~HealthProbe() { Stop(); }

void HealthProbe::Start() {
    Probe();
    every_while_.Start();
}

void HealthProbe::Stop() { every_while_.Stop(); }

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
