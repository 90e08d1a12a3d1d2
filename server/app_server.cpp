#include "app_server.h"

#include <sys/resource.h>

#include <boost/asio/signal_set.hpp>
#include <boost/asio/ssl.hpp>
#include <stdexcept>
#include <thread>
#include <vector>

#include "event_loop.h"
#include "periodic_thread.h"
#include "core/db/database_session.h"
#include "core/db/database_url.h"
#include "request_origin.h"
#include "server_core.h"

namespace appserver {

namespace asio = boost::asio;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using boost::system::error_code;

namespace {

// Descriptors kept free of connections: database files, the log, the listening sockets.
constexpr int kReservedDescriptors = 64;

std::string SqlitePath(const std::string& url) {
    const auto parsed = hostlib::ParseDatabaseUrl(url);
    return parsed && parsed->kind == hostlib::DatabaseKind::SQLite ? parsed->path : std::string();
}

int ConnectionCap(int asked) {
    if (asked > 0) return asked;
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY) return 0;
    return std::max(1, static_cast<int>(files.rlim_cur) - kReservedDescriptors);
}

std::unique_ptr<ssl::context> TlsContext(const ServerOptions& options) {
    if (options.tls_certificate.empty() && options.tls_key.empty()) return nullptr;
    auto context = std::make_unique<ssl::context>(ssl::context::tls_server);
    context->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 | ssl::context::no_sslv3 |
                         ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1);
    // An idle TLS connection gives its record buffers back until it is read from again.
    SSL_CTX_set_mode(context->native_handle(), SSL_MODE_RELEASE_BUFFERS);
    error_code ec;
    context->use_certificate_chain_file(options.tls_certificate, ec);
    if (!ec) context->use_private_key_file(options.tls_key, ssl::context::pem, ec);
    if (ec) throw std::runtime_error("Certificado ou chave TLS inválidos: " + ec.message() + ".");
    return context;
}

}  // namespace

hostlib::SessionOptions ServerSessionOptions(const ServerOptions& options) {
    hostlib::SessionOptions session;
    session.lock_timeout = options.lock_timeout;
    session.statement_timeout = options.statement_timeout;
    session.missing = hostlib::MissingDatabase::Refuse;
    return session;
}

ServerCore::ServerCore(ServerOptions server_options)
    : options(std::move(server_options)),
      clients(options.clients ? options.clients : std::make_shared<ClientTable>()),
      limiter(std::make_shared<ConnectionLimiter>(options.max_connections_per_address,
                                                  ConnectionCap(options.max_connections))),
      file(SqlitePath(options.database_url)),
      writer(options.database_url, ServerSessionOptions(options), file, options.largest_store_group),
      health(options.database_url, ServerSessionOptions(options), file),
      tls(TlsContext(options)),
      listens_on_loopback(IsLoopbackHost(options.address)) {}

std::string ServerCore::Metrics() const {
    RequestMetrics::Snapshot requests;
    for (const RequestMetrics* loop : loop_metrics) loop->AddTo(requests);
    ServerGauges gauges;
    gauges.open_connections = limiter->Open();
    gauges.database_up = health.Healthy();
    const StoreWriterStatistics statistics = writer.Statistics();
    gauges.stores = statistics.stores;
    gauges.commits = statistics.commits;
    gauges.group_sizes.assign(statistics.group_sizes.begin(), statistics.group_sizes.end());
    gauges.refused_changed = statistics.refused_changed;
    gauges.refused_invoices = statistics.refused_invoices;
    gauges.group_size_sum = statistics.group_size_sum;
    return MetricsText(requests, gauges);
}

struct AppServer::State {
    explicit State(ServerOptions o) : options(std::move(o)) {}

    ServerOptions options;
    std::unique_ptr<ServerCore> core;
    std::vector<std::unique_ptr<EventLoop>> loops;
    unsigned short port = 0;
    bool running = false;
    // Cuts the connection of a session that waits on a database past its statement timeout:
    // a frozen server answers neither the statement nor its own timeout.
    PeriodicThread stall_watch{std::chrono::milliseconds(500), [this] { CutStuckSessions(); }};

    void CutStuckSessions() {
        const auto deadline = options.statement_timeout + std::chrono::seconds(2);
        std::vector<SessionKeeper*> keepers{&core->writer.Session(), &core->health.Session()};
        for (auto& loop : loops) keepers.push_back(&loop->Reader().Session());
        for (SessionKeeper* keeper : keepers) {
            if (keeper->CutIfStuck(deadline)) LogEvent("banco de dados sem resposta: conexão cortada");
        }
    }
};

AppServer::AppServer(ServerOptions options) : state_(std::make_unique<State>(std::move(options))) {}

AppServer::~AppServer() { Stop(); }

void AppServer::Start() {
    auto& s = *state_;
    {
        // Fail at once, with the reason, when the database cannot be reached.
        hostlib::DatabaseSession probe;
        probe.Open(s.options.database_url, ServerSessionOptions(s.options));
    }
    s.core = std::make_unique<ServerCore>(s.options);
    error_code ec;
    const auto address = asio::ip::make_address(s.options.address, ec);
    if (ec) throw std::runtime_error("Endereço de escuta inválido: '" + s.options.address + "'.");
    int threads = s.options.threads > 0 ? s.options.threads : static_cast<int>(std::thread::hardware_concurrency());
    if (threads < 1) threads = 1;
    std::vector<EventLoop*> all;
    for (int i = 0; i < threads; ++i) {
        s.loops.push_back(std::make_unique<EventLoop>(*s.core, i));
        all.push_back(s.loops.back().get());
    }
    if (!s.loops[0]->Listen(tcp::endpoint(address, s.options.port), all, ec)) {
        throw std::runtime_error("Não foi possível escutar em " + s.options.address + ":" +
                                 std::to_string(s.options.port) + ": " + ec.message() + ".");
    }
    s.port = s.loops[0]->Port();
    s.core->writer.Start();
    s.core->health.Start();
    for (auto& loop : s.loops) loop->Start();
    s.stall_watch.Start();
    s.running = true;
}

unsigned short AppServer::Port() const { return state_->port; }

void AppServer::Stop() {
    auto& s = *state_;
    if (!s.running) return;
    s.running = false;
    s.core->health.Stop();
    for (auto& loop : s.loops) loop->Shutdown();
    // The stores already taken are committed and answered before the loops end.
    s.core->writer.Stop();
    for (auto& loop : s.loops) loop->Finish();
    for (auto& loop : s.loops) loop->Join();
    // Last: until every session has let go, one stuck on a frozen database must still be cut.
    s.stall_watch.Stop();
    s.loops.clear();
}

void AppServer::ReplaceClients(std::shared_ptr<const ClientTable> clients) {
    if (state_->core) state_->core->clients.Replace(std::move(clients));
}

void AppServer::ReloadTokenFile() {
    const std::string& path = state_->options.token_file;
    try {
        ReplaceClients(std::make_shared<ClientTable>(ClientTable::FromFile(path)));
        LogEvent("arquivo de segredos lido de novo");
        if (const auto warning = TokenFileExposure(path)) LogEvent("aviso: " + *warning);
    } catch (const std::exception& e) {
        // Keeping the old table would let a client taken out of the file go on: refuse everyone
        // until a good file is read, and say so (on /healthz too).
        ReplaceClients(std::make_shared<ClientTable>(ClientTable::RefusingEveryone()));
        LogEvent(std::string("arquivo de segredos inválido, todos os pedidos recusados até ele ser lido de novo: ") +
                 e.what());
    }
}

void AppServer::RunUntilSignalled() {
    asio::io_context signals_io;
    asio::signal_set signals(signals_io, SIGINT, SIGTERM, SIGHUP);
    std::function<void(error_code, int)> on_signal = [&](error_code ec, int number) {
        if (ec) return;
        if (number != SIGHUP) return;  // stop: run() returns
        if (!state_->options.token_file.empty()) ReloadTokenFile();
        signals.async_wait(on_signal);
    };
    signals.async_wait(on_signal);
    signals_io.run();
    Stop();
}

}  // namespace appserver
