#pragma once
// Who may talk to the server: the shared secret every request must carry, and how many
// connections one client address may hold at once.
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace appserver {

// "Bearer <token>" in the Authorization header, compared in constant time. An empty
// token lets every request through.
bool TokenAccepted(std::string_view expected_token, std::string_view authorization_header);

class ConnectionLimiter : public std::enable_shared_from_this<ConnectionLimiter> {
public:
    // 0: no limit.
    explicit ConnectionLimiter(int per_address) : per_address_(per_address) {}

    // A slot for one connection of `address`, released when the slot goes; none when the
    // address already holds all it may.
    class Slot {
    public:
        Slot(std::shared_ptr<ConnectionLimiter> limiter, std::string address)
            : limiter_(std::move(limiter)), address_(std::move(address)) {}
        Slot(const Slot&) = delete;
        Slot& operator=(const Slot&) = delete;
        ~Slot();

    private:
        std::shared_ptr<ConnectionLimiter> limiter_;
        std::string address_;
    };
    std::unique_ptr<Slot> Acquire(const std::string& address);

private:
    int per_address_;
    std::mutex mutex_;
    std::unordered_map<std::string, int> open_;
};

}  // namespace appserver
