#include "session_keeper.h"

#include <algorithm>

#include "hostlib/db/database_error.h"

namespace appserver {

namespace {

constexpr std::chrono::milliseconds kFirstBackoff{100};
constexpr std::chrono::milliseconds kLongestBackoff{2000};

}  // namespace

SessionKeeper::SessionKeeper(std::string url, hostlib::SessionOptions options, std::string name)
    : url_(std::move(url)), options_(options), name_(std::move(name)) {}

SessionKeeper::~SessionKeeper() = default;

hostlib::TdtmDBGeral& SessionKeeper::Database() {
    if (database_) return *database_;
    if (Clock::now() < next_attempt_) {
        throw hostlib::EDatabaseError(hostlib::DatabaseErrorCategory::ConnectionFailed,
                                      "Banco de dados indisponível (nova tentativa em instantes).");
    }
    ++attempts_;
    try {
        auto database = std::make_unique<hostlib::TdtmDBGeral>(nullptr, name_);
        database->Open(url_, options_);
        database_ = std::move(database);
        ++generation_;
        backoff_ = std::chrono::milliseconds(0);
        return *database_;
    } catch (...) {
        backoff_ = backoff_.count() == 0 ? kFirstBackoff : std::min(backoff_ * 2, kLongestBackoff);
        next_attempt_ = Clock::now() + backoff_;
        throw;
    }
}

void SessionKeeper::Drop() noexcept { database_.reset(); }

}  // namespace appserver
