#include "app_server.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "access_control.h"
#include "data_emissao_module.h"
#include "hostlib/db/data_module.h"
#include "rpc_dispatch.h"

namespace appserver {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using boost::system::error_code;
using Clock = std::chrono::steady_clock;

namespace {

// How long, and how much, a refused request's remaining bytes are read before closing.
constexpr std::chrono::seconds kLingerTime{5};
constexpr std::size_t kLingerBytes = 8 * 1024 * 1024;

// The worker thread's own remote data module and database session.
thread_local DataEmissaoModule* worker_module = nullptr;

void WriteLogLine(RequestLog log, const std::string& method, Clock::time_point start, const std::string& outcome) {
    if (log == RequestLog::None) return;
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    char line[256];
    const int n = std::snprintf(line, sizeof line, "%s %.3f ms %s\n", method.c_str(), ms, outcome.c_str());
    // One write per line keeps lines whole across threads without a lock.
    if (n > 0) [[maybe_unused]] auto written = ::write(2, line, static_cast<std::size_t>(std::min(n, 255)));
}

std::string JsonText(const nlohmann::json& json) {
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

using PlainStream = beast::tcp_stream;
using SecureStream = beast::ssl_stream<beast::tcp_stream>;

// One connection, plain or TLS: requests read and answered one after the other.
template <class Stream>
class HttpSession : public std::enable_shared_from_this<HttpSession<Stream>> {
public:
    template <class... StreamArgs>
    HttpSession(const ServerOptions& options, std::unique_ptr<ConnectionLimiter::Slot> slot, StreamArgs&&... args)
        : stream_(std::forward<StreamArgs>(args)...),
          idle_timer_(stream_.get_executor()),
          options_(options),
          slot_(std::move(slot)) {}

    void Start() {
        if constexpr (std::is_same_v<Stream, SecureStream>) {
            Lowest().expires_after(options_.request_timeout);
            stream_.async_handshake(ssl::stream_base::server, [self = this->shared_from_this()](error_code ec) {
                if (ec) return self->Close();
                self->WaitForRequest();
            });
        } else {
            WaitForRequest();
        }
    }

private:
    beast::tcp_stream& Lowest() { return beast::get_lowest_layer(stream_); }

    // Waiting for the next request holds no buffer and no thread, only the socket.
    void WaitForRequest() {
        if constexpr (std::is_same_v<Stream, SecureStream>) {
            // The TLS layer may already hold the next request, read from the socket along
            // with the handshake or the last one: the socket says nothing of it. Read then.
            ReadRequest(options_.idle_timeout);
            return;
        }
        if (buffer_.size() > 0) {
            ReadRequest(options_.request_timeout);
            return;
        }
        Lowest().expires_never();
        idle_timer_.expires_after(options_.idle_timeout);
        idle_timer_.async_wait([self = this->shared_from_this()](error_code ec) {
            if (!ec) self->Close();
        });
        Lowest().socket().async_wait(tcp::socket::wait_read, [self = this->shared_from_this()](error_code ec) {
            self->idle_timer_.cancel();
            if (ec) return self->Close();
            self->ReadRequest(self->options_.request_timeout);
        });
    }

    void ReadRequest(std::chrono::milliseconds timeout) {
        parser_.emplace();
        parser_->header_limit(16 * 1024);
        parser_->body_limit(options_.body_limit);
        Lowest().expires_after(timeout);
        http::async_read(stream_, buffer_, *parser_,
                         [self = this->shared_from_this()](error_code ec, std::size_t) { self->OnRead(ec); });
    }

    void OnRead(error_code ec) {
        start_ = Clock::now();
        if (ec == http::error::end_of_stream || ec == asio::error::eof || ec == beast::error::timeout ||
            ec == asio::error::operation_aborted || ec == asio::error::connection_reset ||
            ec == ssl::error::stream_truncated) {
            return Close();
        }
        if (ec == http::error::body_limit) {
            return Reply(http::status::payload_too_large, Error("Requisição grande demais."), "-", "413");
        }
        if (ec == http::error::header_limit) {
            return Reply(http::status::request_header_fields_too_large, Error("Cabeçalho grande demais."), "-", "431");
        }
        if (ec) return Reply(http::status::bad_request, Error("Requisição HTTP inválida."), "-", "400");
        Handle(parser_->get());
    }

    static std::string Error(const std::string& message) { return JsonText({{"error", message}}); }

    void Handle(const http::request<http::string_body>& request) {
        keep_alive_ = request.keep_alive();
        const auto authorization = request[http::field::authorization];
        if (!TokenAccepted(options_.token, std::string_view(authorization.data(), authorization.size()))) {
            return Reply(http::status::unauthorized, Error("Não autorizado."), "-", "401");
        }
        const std::string target(request.target());
        const std::string own = std::string("/rpc/") + kModuleName;
        if (target.rfind("/rpc/", 0) != 0) {
            return Reply(http::status::not_found, Error("Caminho desconhecido."), "-", "404");
        }
        if (target != own) {
            return Reply(http::status::not_found, Error("Módulo remoto não encontrado neste servidor."), "-", "404");
        }
        if (request.method() == http::verb::get) {
            std::size_t count = 0;
            const char* const* names = RpcMethodNames(count);
            nlohmann::json methods = nlohmann::json::array();
            for (std::size_t i = 0; i < count; ++i) methods.push_back(names[i]);
            return Reply(http::status::ok, JsonText({{"server", kModuleName}, {"methods", methods}}), "connect", "ok");
        }
        if (request.method() != http::verb::post) {
            return Reply(http::status::method_not_allowed, Error("Método HTTP não permitido."), "-", "405");
        }
        RpcSummary summary;
        std::optional<std::string> body;
        if (worker_module == nullptr) {
            summary.outcome = "error no worker";
            body = JsonText({{"jsonrpc", "2.0"},
                             {"id", nullptr},
                             {"error", {{"code", kInternalError}, {"message", "Erro interno do servidor de aplicação."}}}});
        } else {
            body = HandleRpcBody(request.body(), *worker_module, summary,
                                 options_.floor_method ? FloorMethod::On : FloorMethod::Off);
        }
        if (!body) return Reply(http::status::no_content, "", summary.method, summary.outcome);
        Reply(http::status::ok, std::move(*body), summary.method, summary.outcome);
    }

    void Reply(http::status status, std::string body, const std::string& method, const std::string& outcome) {
        // After a malformed, oversized or refused request the rest of the stream cannot be trusted.
        const bool keep = keep_alive_ && status != http::status::payload_too_large &&
                          status != http::status::bad_request &&
                          status != http::status::request_header_fields_too_large &&
                          status != http::status::unauthorized;
        response_ = {};
        response_.result(status);
        response_.version(11);
        response_.set(http::field::server, "vor17000-server");
        if (status == http::status::unauthorized) response_.set(http::field::www_authenticate, "Bearer");
        if (!body.empty()) response_.set(http::field::content_type, "application/json; charset=utf-8");
        response_.keep_alive(keep);
        response_.body() = std::move(body);
        response_.prepare_payload();
        WriteLogLine(options_.log, method, start_, outcome);
        Lowest().expires_after(options_.request_timeout);
        const bool linger = !keep && status != http::status::ok && status != http::status::no_content;
        http::async_write(stream_, response_, [self = this->shared_from_this(), keep, linger](error_code ec, std::size_t) {
            if (ec) return self->Close();
            if (linger) return self->LingerAndClose();
            if (!keep) return self->Close();
            self->keep_alive_ = false;
            self->WaitForRequest();
        });
    }

    // After refusing a request whose body is still arriving, the rest is read and dropped
    // for a while before closing: closing on unread bytes resets the connection, and the
    // client (still sending, as most do without "Expect: 100-continue") would lose the answer.
    void LingerAndClose() {
        error_code ignored;
        Lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
        Lowest().expires_after(kLingerTime);
        discard_ = std::make_unique<std::array<char, 16 * 1024>>();
        Discard();
    }

    void Discard() {
        Lowest().async_read_some(asio::buffer(*discard_), [self = this->shared_from_this()](error_code ec, std::size_t n) {
            self->discarded_ += n;
            if (ec || self->discarded_ > kLingerBytes) return self->Close();
            self->Discard();
        });
    }

    void Close() {
        error_code ignored;
        idle_timer_.cancel();
        Lowest().socket().shutdown(tcp::socket::shutdown_both, ignored);
        Lowest().socket().close(ignored);
    }

    Stream stream_;
    asio::steady_timer idle_timer_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    http::response<http::string_body> response_;
    const ServerOptions& options_;
    std::unique_ptr<ConnectionLimiter::Slot> slot_;
    Clock::time_point start_ = Clock::now();
    bool keep_alive_ = false;
    std::unique_ptr<std::array<char, 16 * 1024>> discard_;
    std::size_t discarded_ = 0;
};

// The whole answer to a connection over the per-address limit.
const std::string& TooManyConnections() {
    static const std::string answer = [] {
        const std::string body = JsonText({{"error", "Conexões demais a partir deste endereço."}});
        return "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\n"
               "Content-Type: application/json; charset=utf-8\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\n\r\n" + body;
    }();
    return answer;
}

}  // namespace

struct AppServer::State {
    explicit State(ServerOptions o)
        : options(std::move(o)), limiter(std::make_shared<ConnectionLimiter>(options.max_connections_per_address)) {}

    void Accept() {
        acceptor.async_accept(asio::make_strand(io), [this](error_code ec, tcp::socket socket) {
            if (ec == asio::error::operation_aborted || !acceptor.is_open()) return;
            if (!ec) Welcome(std::move(socket));
            Accept();
        });
    }

    void Welcome(tcp::socket socket) {
        error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        const auto peer = socket.remote_endpoint(ignored);
        auto slot = limiter->Acquire(peer.address().to_string());
        if (!slot) {
            // A fresh socket takes these few bytes without blocking.
            asio::write(socket, asio::buffer(TooManyConnections()), ignored);
            socket.close(ignored);
            return;
        }
        if (tls) {
            std::make_shared<HttpSession<SecureStream>>(options, std::move(slot), std::move(socket), *tls)->Start();
        } else {
            std::make_shared<HttpSession<PlainStream>>(options, std::move(slot), std::move(socket))->Start();
        }
    }

    ServerOptions options;
    // Declared before the I/O context: sessions freed with it still release their slot.
    std::shared_ptr<ConnectionLimiter> limiter;
    std::unique_ptr<ssl::context> tls;
    asio::io_context io;
    tcp::acceptor acceptor{io};
    std::vector<std::thread> workers;
    unsigned short port = 0;
};

AppServer::AppServer(ServerOptions options) : state_(std::make_unique<State>(std::move(options))) {}

AppServer::~AppServer() { Stop(); }

void AppServer::Start() {
    auto& s = *state_;
    {
        // Fail at once, with the reason, when the database cannot be reached.
        hostlib::TdtmDBGeral probe(nullptr, "dtmVerificacao");
        probe.Open(s.options.database_url);
    }
    if (!s.options.tls_certificate.empty() || !s.options.tls_key.empty()) {
        auto context = std::make_unique<ssl::context>(ssl::context::tls_server);
        context->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 | ssl::context::no_sslv3 |
                             ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1);
        error_code ec;
        context->use_certificate_chain_file(s.options.tls_certificate, ec);
        if (!ec) context->use_private_key_file(s.options.tls_key, ssl::context::pem, ec);
        if (ec) throw std::runtime_error("Certificado ou chave TLS inválidos: " + ec.message() + ".");
        s.tls = std::move(context);
    }
    error_code ec;
    const auto address = asio::ip::make_address(s.options.address, ec);
    if (ec) throw std::runtime_error("Endereço de escuta inválido: '" + s.options.address + "'.");
    const tcp::endpoint endpoint(address, s.options.port);
    s.acceptor.open(endpoint.protocol(), ec);
    if (!ec) s.acceptor.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) s.acceptor.bind(endpoint, ec);
    if (!ec) s.acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        throw std::runtime_error("Não foi possível escutar em " + s.options.address + ":" +
                                 std::to_string(s.options.port) + ": " + ec.message() + ".");
    }
    s.port = s.acceptor.local_endpoint().port();
    s.Accept();
    int threads = s.options.threads > 0 ? s.options.threads : static_cast<int>(std::thread::hardware_concurrency());
    if (threads < 1) threads = 1;
    for (int i = 0; i < threads; ++i) {
        s.workers.emplace_back([&s] {
            DataEmissaoModule module(s.options.database_url, hostlib::SessionOptions{s.options.lock_timeout});
            worker_module = &module;
            s.io.run();
            worker_module = nullptr;
        });
    }
}

unsigned short AppServer::Port() const { return state_->port; }

void AppServer::Stop() {
    auto& s = *state_;
    if (s.workers.empty()) return;
    asio::post(s.io, [&s] {
        error_code ignored;
        s.acceptor.close(ignored);
    });
    s.io.stop();
    for (auto& worker : s.workers) worker.join();
    s.workers.clear();
}

void AppServer::RunUntilSignalled() {
    asio::io_context signals_io;
    asio::signal_set signals(signals_io, SIGINT, SIGTERM);
    signals.async_wait([](error_code, int) {});
    signals_io.run();
    Stop();
}

}  // namespace appserver
