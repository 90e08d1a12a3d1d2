#pragma once
// Who may talk to the server: the clients named in the token file with their rights, the
// token each request must carry, and how many connections may be open at once.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "hostlib/settings/token_file.h"

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

class ConnectionLimiter : public std::enable_shared_from_this<ConnectionLimiter> {
public:
    // 0: no limit.
    ConnectionLimiter(int per_address, int total) : per_address_(per_address), total_(total) {}

    // A slot for one connection of `address`, released when the slot goes.
    class Slot {
    public:
        Slot(std::shared_ptr<ConnectionLimiter> limiter, std::string address)
            : limiter_(std::move(limiter)), address_(std::move(address)) {}
        Slot(const Slot&) = delete;
        Slot& operator=(const Slot&) = delete;
        ~Slot();
        const std::string& Address() const { return address_; }

    private:
        std::shared_ptr<ConnectionLimiter> limiter_;
        std::string address_;
    };
    enum class Refusal { None, Address, Total };
    // Nothing, with the reason, when the address or the server already holds all it may.
    std::unique_ptr<Slot> Acquire(const std::string& address, Refusal& refusal);
    int Open() const { return open_total_.load(std::memory_order_relaxed); }

private:
    int per_address_;
    int total_;
    std::atomic<int> open_total_{0};
    std::mutex mutex_;
    std::unordered_map<std::string, int> open_;
};

}  // namespace appserver
