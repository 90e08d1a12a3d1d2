#pragma once
// What every event loop of a server shares: its options, who may connect, the database
// file's watch, the store writer and the TLS context.
#include <boost/asio/ssl/context.hpp>
#include <memory>

#include "access_control.h"
#include "app_server.h"
#include "database_file_guard.h"
#include "health_probe.h"
#include "server_metrics.h"
#include "store_writer.h"

namespace appserver {

struct ServerCore {
    explicit ServerCore(ServerOptions server_options);

    ServerOptions options;
    ClientRegistry clients;
    std::shared_ptr<ConnectionLimiter> limiter;
    DatabaseFileGuard file;
    StoreWriter writer;
    HealthProbe health;
    std::unique_ptr<boost::asio::ssl::context> tls;
    // Only loopback names may be asked for on a loopback address (a rebound name may not).
    bool listens_on_loopback = false;
    // Each loop's request counts, registered before the loops start.
    std::vector<const RequestMetrics*> loop_metrics;

    // The Prometheus text of the server as it is now.
    std::string Metrics() const;
};

// The session options every database session of a server opens with: it never creates a
// database file (a file gone is an error, not an empty database).
hostlib::SessionOptions ServerSessionOptions(const ServerOptions& options);

}  // namespace appserver
