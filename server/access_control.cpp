#include "access_control.h"

#include <sys/stat.h>

#include <cstdio>
#include <stdexcept>

#include "core/ascii_text.h"

namespace appserver {

namespace {

bool SameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// Every byte of the expected token is looked at whatever the input, so the time taken does
// not tell how much of a guess was right.
bool SameToken(std::string_view expected, std::string_view given) {
    unsigned char difference = given.size() == expected.size() ? 0 : 1;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const unsigned char g = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
        difference |= static_cast<unsigned char>(g ^ static_cast<unsigned char>(expected[i]));
    }
    return difference == 0;
}

}  // namespace

namespace {

ClientTable::Entries EntriesOf(const std::vector<hostlib::TokenEntry>& tokens) {
    if (tokens.empty()) throw std::runtime_error("o arquivo de segredos não tem nenhum segredo.");
    ClientTable::Entries entries;
    for (const auto& entry : tokens) entries.push_back(ClientTable::Entry::Of(entry.name, entry.role, entry.token));
    return entries;
}

}  // namespace

ClientTable ClientTable::FromText(std::string_view text) {
    ClientTable table;
    table.entries_ = EntriesOf(hostlib::ParseTokenText(text));
    return table;
}

ClientTable ClientTable::FromFile(const std::string& path) {
    ClientTable table;
    table.entries_ = EntriesOf(hostlib::ReadTokenFile(path));
    return table;
}

ClientTable ClientTable::RefusingEveryone() {
    ClientTable table;
    table.refusing_ = true;
    return table;
}

ClientTable ClientTable::FromToken(std::string token) {
    ClientTable table;
    const std::string_view secret = hostlib::TrimmedBlanks(token, hostlib::kWhiteSpace);
    if (secret.empty()) throw std::runtime_error("o segredo está vazio.");
    table.entries_.push_back(Entry::Of("padrao", ClientRole::Writer, secret));
    return table;
}

const Client* ClientTable::Authenticate(std::string_view header) const {
    constexpr std::string_view kScheme = "Bearer ";
    std::string_view given;
    if (header.size() >= kScheme.size() && SameLetters(header.substr(0, kScheme.size()), kScheme)) {
        given = header.substr(kScheme.size());
    }
    const Client* found = nullptr;
    for (const auto& entry : entries_) {
        // No early exit: every token is compared, whichever matches.
        if (SameToken(entry.token, given) && found == nullptr) found = &entry.client;
    }
    return found;
}

std::optional<std::string> TokenFileExposure(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || (info.st_mode & 077) == 0) return std::nullopt;
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    return "o arquivo de segredos " + path + " pode ser lido ou alterado por outros usuários (modo " + mode +
           "); use chmod 600";
}

ConnectionLimiter::Slot::~Slot() {
    limiter_->open_total_.fetch_sub(1, std::memory_order_relaxed);
    std::lock_guard lock(limiter_->mutex_);
    if (proven_) {
        if (--limiter_->open_[address_] <= 0) limiter_->open_.erase(address_);
    } else if (!evicted_) {
        auto& waiting = limiter_->unproven_[address_];
        std::erase(waiting, this);
        if (waiting.empty()) limiter_->unproven_.erase(address_);
    }
}

bool ConnectionLimiter::Slot::Prove() {
    std::lock_guard lock(limiter_->mutex_);
    if (proven_) return true;
    int& open = limiter_->open_[address_];
    if (limiter_->per_address_ > 0 && open >= limiter_->per_address_) return false;
    ++open;
    if (!evicted_) {
        auto& waiting = limiter_->unproven_[address_];
        std::erase(waiting, this);
        if (waiting.empty()) limiter_->unproven_.erase(address_);
    }
    proven_ = true;
    evicted_ = false;
    return true;
}

void ConnectionLimiter::Slot::OnEvicted(std::function<void()> evict) {
    std::lock_guard lock(limiter_->mutex_);
    // Already chosen to make room before its owner could say how: let go of it now.
    if (evicted_ && !proven_) {
        evict();
        return;
    }
    evict_ = std::move(evict);
}

void ConnectionLimiter::Evict(Slot& slot) {
    slot.evicted_ = true;
    if (slot.evict_) slot.evict_();
}

std::unique_ptr<ConnectionLimiter::Slot> ConnectionLimiter::Acquire(const std::string& address, Admission admission,
                                                                    Refusal& refusal) {
    refusal = Refusal::None;
    if (total_ > 0 && open_total_.load(std::memory_order_relaxed) >= total_) {
        refusal = Refusal::Total;
        return nullptr;
    }
    std::lock_guard lock(mutex_);
    if (admission == Admission::Unproven) {
        auto& waiting = unproven_[address];
        if (waiting.size() >= kUnprovenPerAddress) {
            Evict(*waiting.front());
            waiting.pop_front();
        }
        auto slot = std::make_unique<Slot>(shared_from_this(), address, false);
        waiting.push_back(slot.get());
        open_total_.fetch_add(1, std::memory_order_relaxed);
        return slot;
    }
    int& open = open_[address];
    if (per_address_ > 0 && open >= per_address_) {
        if (open == 0) open_.erase(address);
        refusal = Refusal::Address;
        return nullptr;
    }
    ++open;
    open_total_.fetch_add(1, std::memory_order_relaxed);
    return std::make_unique<Slot>(shared_from_this(), address, true);
}

}  // namespace appserver
