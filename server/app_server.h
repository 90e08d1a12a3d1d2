#pragma once
// The application server: one event loop per core, each owning its connections from accept
// to close and reading the database through a session of its own; one writer that commits
// the stores in groups. An idle connection costs a socket and a small buffer, no thread.
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "access_control.h"
#include "server_log.h"

namespace appserver {

struct ServerOptions {
    std::string database_url;
    std::string address = "127.0.0.1";
    unsigned short port = 8217;  // 0: any free port
    int threads = 0;             // event loops; 0: one per core
    std::size_t body_limit = 64 * 1024;
    // The largest answer built for one request body.
    std::size_t answer_limit = 4 * 1024 * 1024;
    std::chrono::milliseconds idle_timeout{std::chrono::minutes(15)};
    std::chrono::milliseconds request_timeout{std::chrono::seconds(30)};
    RequestLog log = RequestLog::Stderr;
    // The most stores one commit takes (benchmarks set 1 to measure a commit per store).
    std::size_t largest_store_group = 256;
    // Clients and their tokens; none: every request is let through.
    std::shared_ptr<const ClientTable> clients = std::make_shared<ClientTable>();
    // Re-read on SIGHUP (RunUntilSignalled) when set.
    std::string token_file;
    // TLS when both are set (PEM files).
    std::string tls_certificate;
    std::string tls_key;
    // Proxies in front of the server (a load balancer): for a request from one of them the
    // client's address is the last one its "X-Forwarded-For" names.
    std::vector<std::string> trusted_proxies;
    // Connections one client address may hold at once; 0: no limit.
    int max_connections_per_address = 4096;
    // Connections open at once in all; 0: as many as the descriptor limit leaves room for.
    int max_connections = 0;
    // How long a store waits for a lock held elsewhere before it is answered "busy".
    std::chrono::milliseconds lock_timeout{std::chrono::seconds(10)};
    // PostgreSQL: a statement running longer is cancelled; a database that does not answer
    // for a little longer than this has its connection cut by the server itself.
    std::chrono::milliseconds statement_timeout{std::chrono::seconds(30)};
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
    // Stops accepting, ends every connection, commits the stores already taken and joins
    // the threads.
    void Stop();
    // Serves until SIGINT or SIGTERM, then stops; SIGHUP reads the token file again.
    void RunUntilSignalled();
    // Replaces the clients and their tokens; requests already checked finish as they were.
    void ReplaceClients(std::shared_ptr<const ClientTable> clients);
    // Reads the token file again (SIGHUP). One that cannot be read leaves every token refused
    // and the server unhealthy until a good one is read.
    void ReloadTokenFile();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace appserver
