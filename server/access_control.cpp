#include "access_control.h"

namespace appserver {

bool TokenAccepted(std::string_view expected_token, std::string_view header) {
    if (expected_token.empty()) return true;
    constexpr std::string_view kScheme = "Bearer ";
    const std::string_view given = header.substr(0, kScheme.size()) == kScheme ? header.substr(kScheme.size()) : "";
    // Every byte of the expected token is looked at whatever the input, so the time taken
    // does not tell how much of a guess was right.
    unsigned char difference = given.size() == expected_token.size() ? 0 : 1;
    for (std::size_t i = 0; i < expected_token.size(); ++i) {
        const unsigned char g = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
        difference |= static_cast<unsigned char>(g ^ static_cast<unsigned char>(expected_token[i]));
    }
    return difference == 0;
}

ConnectionLimiter::Slot::~Slot() {
    std::lock_guard lock(limiter_->mutex_);
    if (--limiter_->open_[address_] <= 0) limiter_->open_.erase(address_);
}

std::unique_ptr<ConnectionLimiter::Slot> ConnectionLimiter::Acquire(const std::string& address) {
    std::lock_guard lock(mutex_);
    int& open = open_[address];
    if (per_address_ > 0 && open >= per_address_) {
        if (open == 0) open_.erase(address);
        return nullptr;
    }
    ++open;
    return std::make_unique<Slot>(shared_from_this(), address);
}

}  // namespace appserver
