#include "app_server.h"

#include <unistd.h>

#include <atomic>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "data_emissao_module.h"
#include "hostlib/db/data_module.h"
#include "rpc_dispatch.h"

namespace appserver {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using boost::system::error_code;
using Clock = std::chrono::steady_clock;

namespace {

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

std::string JsonText(const nlohmann::json& json) { return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace); }

class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    HttpSession(tcp::socket socket, const ServerOptions& options)
        : stream_(std::move(socket)), idle_timer_(stream_.get_executor()), options_(options) {}

    void Start() { WaitForRequest(); }

private:
    // Waiting for the next request holds no buffer and no thread, only the socket.
    void WaitForRequest() {
        if (buffer_.size() > 0) {
            ReadRequest();
            return;
        }
        idle_timer_.expires_after(options_.idle_timeout);
        idle_timer_.async_wait([self = shared_from_this()](error_code ec) {
            if (!ec) self->Close();
        });
        stream_.socket().async_wait(tcp::socket::wait_read, [self = shared_from_this()](error_code ec) {
            self->idle_timer_.cancel();
            if (ec) return self->Close();
            self->ReadRequest();
        });
    }

    void ReadRequest() {
        parser_.emplace();
        parser_->header_limit(16 * 1024);
        parser_->body_limit(options_.body_limit);
        stream_.expires_after(options_.request_timeout);
        http::async_read(stream_, buffer_, *parser_, [self = shared_from_this()](error_code ec, std::size_t) {
            self->OnRead(ec);
        });
    }

    void OnRead(error_code ec) {
        start_ = Clock::now();
        if (ec == http::error::end_of_stream || ec == asio::error::eof || ec == beast::error::timeout ||
            ec == asio::error::operation_aborted || ec == asio::error::connection_reset) {
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
        // After a malformed or oversized request the rest of the stream cannot be trusted.
        const bool keep = keep_alive_ && status != http::status::payload_too_large &&
                          status != http::status::bad_request &&
                          status != http::status::request_header_fields_too_large;
        response_ = {};
        response_.result(status);
        response_.version(11);
        response_.set(http::field::server, "vor17000-server");
        if (!body.empty()) response_.set(http::field::content_type, "application/json; charset=utf-8");
        response_.keep_alive(keep);
        response_.body() = std::move(body);
        response_.prepare_payload();
        WriteLogLine(options_.log, method, start_, outcome);
        stream_.expires_after(options_.request_timeout);
        http::async_write(stream_, response_, [self = shared_from_this(), keep](error_code ec, std::size_t) {
            if (ec || !keep) return self->Close();
            self->keep_alive_ = false;
            self->WaitForRequest();
        });
    }

    void Close() {
        error_code ignored;
        idle_timer_.cancel();
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.socket().close(ignored);
    }

    beast::tcp_stream stream_;
    asio::steady_timer idle_timer_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    http::response<http::string_body> response_;
    const ServerOptions& options_;
    Clock::time_point start_ = Clock::now();
    bool keep_alive_ = false;
};

}  // namespace

struct AppServer::State {
    explicit State(ServerOptions o) : options(std::move(o)) {}

    void Accept() {
        acceptor.async_accept(asio::make_strand(io), [this](error_code ec, tcp::socket socket) {
            if (ec == asio::error::operation_aborted || !acceptor.is_open()) return;
            if (!ec) {
                error_code ignored;
                socket.set_option(tcp::no_delay(true), ignored);
                std::make_shared<HttpSession>(std::move(socket), options)->Start();
            }
            Accept();
        });
    }

    ServerOptions options;
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
            DataEmissaoModule module(s.options.database_url);
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
