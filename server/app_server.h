#pragma once
// The application server: HTTP/1.1 keep-alive on Asio, a few worker threads, each with its
// own database session. An idle connection costs a socket and no thread.
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace appserver {

enum class RequestLog { None, Stderr };

struct ServerOptions {
    std::string database_url;
    std::string address = "127.0.0.1";
    unsigned short port = 8217;  // 0: any free port
    int threads = 0;             // 0: one per core
    std::size_t body_limit = 64 * 1024;
    std::chrono::milliseconds idle_timeout{std::chrono::minutes(15)};
    std::chrono::milliseconds request_timeout{std::chrono::seconds(30)};
    RequestLog log = RequestLog::Stderr;
    // How long a store waits for a lock held elsewhere before it is answered "busy".
    std::chrono::milliseconds lock_timeout{std::chrono::seconds(10)};
    // Benchmarks only: answer "Ping" with nothing, to measure the stack's own cost.
    bool floor_method = false;
    // Required as "Authorization: Bearer <token>" on every request when set.
    std::string token;
    // TLS when both are set (PEM files).
    std::string tls_certificate;
    std::string tls_key;
    // Connections one client address may hold at once; 0: no limit.
    int max_connections_per_address = 4096;
};

class AppServer {
public:
    explicit AppServer(ServerOptions options);
    ~AppServer();
    AppServer(const AppServer&) = delete;
    AppServer& operator=(const AppServer&) = delete;

    // Checks the database, binds and starts serving; raises with a clear message when the
    // database cannot be opened or the address cannot be bound.
    void Start();
    unsigned short Port() const;
    // Stops accepting, ends every connection and joins the workers.
    void Stop();
    // Serves until SIGINT or SIGTERM, then stops.
    void RunUntilSignalled();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace appserver
