#pragma once
// Who may talk to the server: the clients named in the token file with their rights, the
// token each request must carry, and how many connections may be open at once.
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/settings/token_file.h"

namespace appserver {

using ClientRole = hostlib::TokenRole;

struct Client {
    std::string name;
    ClientRole role = ClientRole::Writer;
};

// The token file's clients (hostlib/settings/token_file.h), with the right each has.
class ClientTable {
public:
    // No tokens: every request is let through, as an unnamed client that may write.
    ClientTable() = default;
    // Raises std::runtime_error saying which line is wrong, or that no client is named: a
    // file without clients never means "no token needed".
    static ClientTable FromText(std::string_view text);
    static ClientTable FromFile(const std::string& path);
    static ClientTable FromToken(std::string token);
    // Every token refused: what a token file that could not be read again leaves in force.
    static ClientTable RefusingEveryone();

    bool RequiresToken() const { return !entries_.empty() || refusing_; }
    bool RefusesEveryone() const { return refusing_; }
    std::size_t Size() const { return entries_.size(); }
    // The client whose token the "Authorization" header carries ("Bearer", in any case),
    // compared in constant time with every client's token; nothing when none matches.
    const Client* Authenticate(std::string_view authorization_header) const;

    // A client and its token.
    struct Entry {
        static Entry Of(std::string_view name, ClientRole role, std::string_view token) {
            Entry entry;
            entry.client.name.assign(name);
            entry.client.role = role;
            entry.token.assign(token);
            return entry;
        }
        Client client;
        std::string token;
    };
    using Entries = std::vector<Entry>;

private:
    Entries entries_;
    bool refusing_ = false;
};

// A warning when the token file can be read or written by users other than its owner (as ssh
// says of keys); nothing when only its owner can.
std::optional<std::string> TokenFileExposure(const std::string& path);

// The table in force, replaced whole when the token file is read again (SIGHUP): a request
// holds the table it was checked against until it ends.
class ClientRegistry {
public:
    explicit ClientRegistry(std::shared_ptr<const ClientTable> table) : table_(std::move(table)) {}
    // atomic_load of a shared_ptr takes a lock shared by every thread: callers keep the table
    // and ask again only when the version moved.
    std::shared_ptr<const ClientTable> Current() const { return std::atomic_load(&table_); }
    std::uint64_t Version() const { return version_.load(std::memory_order_acquire); }
    void Replace(std::shared_ptr<const ClientTable> table) {
        std::atomic_store(&table_, std::move(table));
        version_.fetch_add(1, std::memory_order_release);
    }

private:
    std::shared_ptr<const ClientTable> table_;
    std::atomic<std::uint64_t> version_{0};
};

// How a new connection is let in: trusted at once (the server takes no tokens), or unproven
// until a request of it carries a token that matches.
enum class Admission { Trusted, Unproven };

// How many connections may be open: per client address (proven ones), in all, and, apart, the
// unproven ones of an address. Those have a budget of their own, so that anyone able to connect
// (every local user shares 127.0.0.1 with the host's own connections) cannot use up an
// address's room by holding connections open without a token: past the budget the oldest
// unproven connection of the address is let go to make room for the new one.
class ConnectionLimiter : public std::enable_shared_from_this<ConnectionLimiter> {
public:
    static constexpr std::size_t kUnprovenPerAddress = 64;

    // 0: no limit.
    ConnectionLimiter(int per_address, int total) : per_address_(per_address), total_(total) {}

    // A slot for one connection of `address`, released when the slot goes.
    class Slot {
    public:
        Slot(std::shared_ptr<ConnectionLimiter> limiter, std::string address, bool proven)
            : limiter_(std::move(limiter)), address_(std::move(address)), proven_(proven) {}
        Slot(const Slot&) = delete;
        Slot& operator=(const Slot&) = delete;
        ~Slot();
        const std::string& Address() const { return address_; }
        bool Proven() const { return proven_; }
        // A token of the connection matched: it counts as its address's from now on. False
        // when the address already holds all the connections it may.
        bool Prove();
        // How to let the connection go when the budget needs its room (called from any thread,
        // with the limiter's lock held: it may only post work to the connection's own thread).
        void OnEvicted(std::function<void()> evict);

    private:
        friend class ConnectionLimiter;
        std::shared_ptr<ConnectionLimiter> limiter_;
        std::string address_;
        bool proven_;
        bool evicted_ = false;
        std::function<void()> evict_;
    };
    enum class Refusal { None, Address, Total };
    // Nothing, with the reason, when the address or the server already holds all it may.
    std::unique_ptr<Slot> Acquire(const std::string& address, Admission admission, Refusal& refusal);
    int Open() const { return open_total_.load(std::memory_order_relaxed); }

private:
    void Evict(Slot& slot);

    int per_address_;
    int total_;
    std::atomic<int> open_total_{0};
    std::mutex mutex_;
    std::unordered_map<std::string, int> open_;                  // proven connections by address
    std::unordered_map<std::string, std::deque<Slot*>> unproven_;  // oldest first
};

}  // namespace appserver
