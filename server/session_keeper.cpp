#include "session_keeper.h"

#include <sys/socket.h>

#include <soci/postgresql/soci-postgresql.h>
#include <soci/soci.h>
#include <algorithm>

#include "core/db/database_error.h"

namespace appserver {

namespace {

constexpr std::chrono::milliseconds kFirstBackoff{100};
constexpr std::chrono::milliseconds kLongestBackoff{2000};

// The socket of a PostgreSQL session, -1 for any other.
int PostgresSocket(hostlib::DatabaseSession& database) {
    if (database.Kind() != hostlib::DatabaseKind::PostgreSQL) return -1;
    // The kind says which backend it is (the library exports no type information to ask it).
    auto* backend = static_cast<soci::postgresql_session_backend*>(database.Session().get_backend());
    return backend != nullptr && backend->conn_ != nullptr ? PQsocket(backend->conn_) : -1;
}

}  // namespace

SessionKeeper::SessionKeeper(std::string url, hostlib::SessionOptions options)
    : url_(std::move(url)), options_(options) {}

SessionKeeper::~SessionKeeper() { Drop(); }

hostlib::DatabaseSession& SessionKeeper::Database() {
    if (database_) return *database_;
    if (Clock::now() < next_attempt_) {
        throw hostlib::EDatabaseError(hostlib::DatabaseErrorCategory::ConnectionFailed,
                                      "Banco de dados indisponível (nova tentativa em instantes).");
    }
    ++attempts_;
    try {
        auto database = std::make_unique<hostlib::DatabaseSession>();
        database->Open(url_, options_);
        SetSocket(PostgresSocket(*database));
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

void SessionKeeper::Drop() noexcept {
    // The socket is forgotten before the connection closes it, so no cut lands on a
    // descriptor that has been given to something else.
    SetSocket(-1);
    database_.reset();
    // A database that froze is not asked again at once: connecting would wait its connect
    // timeout too.
    if (cut_.exchange(false)) {
        backoff_ = kFirstBackoff;
        next_attempt_ = Clock::now() + backoff_;
    }
}

void SessionKeeper::SetSocket(int socket) {
    std::lock_guard lock(socket_mutex_);
    socket_ = socket;
}

SessionKeeper::Call::Call(SessionKeeper& keeper) : keeper_(keeper) {
    keeper_.call_since_.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
}

SessionKeeper::Call::~Call() { keeper_.call_since_.store(0, std::memory_order_relaxed); }

bool SessionKeeper::CutIfStuck(Clock::duration deadline) {
    const auto since = call_since_.load(std::memory_order_relaxed);
    if (since == 0 || Clock::now().time_since_epoch().count() - since < deadline.count()) return false;
    std::lock_guard lock(socket_mutex_);
    if (socket_ < 0) return false;
    cut_.store(true);
    ::shutdown(socket_, SHUT_RDWR);
    socket_ = -1;
    return true;
}

}  // namespace appserver
