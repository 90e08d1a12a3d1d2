#include "hostlib/net/net_connection.h"

#include <nlohmann/json.hpp>

#include <openssl/ssl.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <climits>
#include <cstdint>
#include <optional>

#include "hostlib/application.h"
#include "core/login_name.h"

namespace hostlib {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using boost::system::error_code;

namespace {

std::string Reason(const error_code& ec) {
    if (ec == asio::error::connection_refused) return "conexão recusada";
    if (ec == beast::error::timeout || ec == asio::error::timed_out) return "tempo de espera esgotado";
    if (ec == asio::error::host_not_found || ec == asio::error::host_not_found_try_again) {
        return "servidor não encontrado";
    }
    if (ec == http::error::end_of_stream || ec == asio::error::eof || ec == asio::error::connection_reset ||
        ec == asio::error::broken_pipe || ec == ssl::error::stream_truncated) {
        return "a conexão foi encerrada pelo servidor";
    }
    if (ec.category() == asio::error::get_ssl_category()) return "falha na conexão segura";
    return "falha de rede";
}

// What an answer may be, a little more than a server sends at its own limits (4 MiB, packets
// of a few columns nested four deep): a hostile server's answer that is bigger, deeper or made
// of more values is refused while it is read, before a tree of it takes the memory.
constexpr std::uint64_t kMaxAnswerBytes = 8 * 1024 * 1024;
constexpr int kMaxAnswerDepth = 8;
constexpr std::size_t kMaxAnswerValues = 1'000'000;

struct OutOfShape {};

nlohmann::json ParseAnswer(const std::string& body) {
    std::size_t values = 0;
    try {
        return nlohmann::json::parse(
            body,
            [&values](int depth, nlohmann::json::parse_event_t event, nlohmann::json&) {
                if (depth > kMaxAnswerDepth) throw OutOfShape{};
                using Event = nlohmann::json::parse_event_t;
                const bool counts = event == Event::value || event == Event::array_start || event == Event::object_start;
                if (counts && ++values > kMaxAnswerValues) throw OutOfShape{};
                return true;
            },
            false);
    } catch (const OutOfShape&) {
        return nlohmann::json(nlohmann::json::value_t::discarded);
    }
}

// The server answers HTTP 400 to a name it would not keep, which would fail every call for a
// name nobody checked: the host's value is made acceptable before it is sent.
// Who is at the keyboard, as the host says at the moment the request goes out.
void SetUserHeader(http::request<http::string_body>& request) {
    const std::string user = TApplication::Exists() ? TApplication::Instance().Values().Usuario : std::string();
    request.set("X-Vor17000-Usuario", AcceptableUserName(user));
}

// The scalar members of an error's "data" object, as text.
RemoteErrorData ErrorDataOf(const nlohmann::json& error) {
    RemoteErrorData data;
    const auto found = error.find("data");
    if (found == error.end() || !found->is_object()) return data;
    for (const auto& [name, value] : found->items()) {
        if (value.is_null()) {
            data.emplace(name, std::nullopt);
        } else if (value.is_string()) {
            data.emplace(name, value.get<std::string>());
        } else if (value.is_primitive()) {
            data.emplace(name, value.dump());
        }
    }
    return data;
}

// The server's error object as the call's error. One the contract does not allow (a code that
// is no whole number of the int range, a message that is no text) is an invalid answer: the
// connection raises only its own two kinds of error.
[[noreturn]] void RaiseAnswerError(const nlohmann::json& error) {
    const auto code = error.find("code");
    const auto message = error.find("message");
    const bool code_fits =
        code == error.end() ||
        (code->is_number_unsigned() && code->get<std::uint64_t>() <= static_cast<std::uint64_t>(INT_MAX)) ||
        (code->is_number_integer() && !code->is_number_unsigned() && code->get<std::int64_t>() >= INT_MIN &&
         code->get<std::int64_t>() <= INT_MAX);
    if (!code_fits || (message != error.end() && !message->is_string())) {
        throw ENetConnectionError(
            "Resposta inválida do servidor de aplicação.",
            "erro fora do contrato: " +
                error.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).substr(0, 200));
    }
    throw EAppServerError(code == error.end() ? -32603 : code->get<int>(),
                          message == error.end() ? "Erro do servidor de aplicação." : message->get<std::string>(),
                          ErrorDataOf(error));
}

}  // namespace

// One keep-alive HTTP connection, driven synchronously: every operation runs the
// connection's own I/O context until it completes or its timeout closes the socket.
struct TNetConnection::Transport {
    asio::io_context io;
    beast::tcp_stream stream{io};
    // With TLS the HTTP goes over this, on top of `stream`.
    std::unique_ptr<ssl::context> tls;
    std::optional<beast::ssl_stream<beast::tcp_stream&>> secure;
    beast::flat_buffer buffer;
    std::string host_header;
    std::string target;
    std::string authorization;

    template <class Start>
    error_code Run(std::chrono::milliseconds timeout, Start&& start) {
        error_code result = asio::error::would_block;
        stream.expires_after(timeout);
        start([&result](error_code ec, auto&&...) { result = ec; });
        io.restart();
        io.run();
        return result;
    }

    template <class Operation>
    error_code RunOnStream(std::chrono::milliseconds timeout, Operation&& operation) {
        if (secure) return Run(timeout, [&](auto handler) { operation(*secure, handler); });
        return Run(timeout, [&](auto handler) { operation(stream, handler); });
    }

    // True when the server has closed its side (or sent something unasked) since the last
    // answer; checked without waiting before a request goes out.
    bool PeerClosed() {
        auto& socket = stream.socket();
        if (!socket.is_open()) return true;
        error_code ec;
        socket.non_blocking(true, ec);
        char byte = 0;
        socket.receive(asio::buffer(&byte, 1), tcp::socket::message_peek, ec);
        error_code ignored;
        socket.non_blocking(false, ignored);
        return ec != asio::error::would_block;
    }

    http::response<http::string_body> Exchange(http::request<http::string_body>& request,
                                               std::chrono::milliseconds timeout) {
        if (!authorization.empty()) request.set(http::field::authorization, authorization);
        request.prepare_payload();
        if (auto ec = RunOnStream(timeout, [&](auto& s, auto handler) { http::async_write(s, request, handler); })) {
            throw ENetConnectionError("Falha ao enviar ao servidor de aplicação: " + Reason(ec) + ".", ec.message());
        }
        http::response_parser<http::string_body> parser;
        parser.body_limit(kMaxAnswerBytes);
        const auto fail = [](const error_code& ec) {
            if (ec == http::error::body_limit) {
                throw ENetConnectionError("Resposta do servidor de aplicação grande demais.", ec.message());
            }
            throw ENetConnectionError("Falha ao receber do servidor de aplicação: " + Reason(ec) + ".", ec.message());
        };
        // The header first: the parser lets a body whose length it was told pass its limit when
        // the header and the body arrive in one read, so the length is checked here.
        if (auto ec = RunOnStream(timeout,
                                  [&](auto& s, auto handler) { http::async_read_header(s, buffer, parser, handler); })) {
            fail(ec);
        }
        if (const auto length = parser.content_length(); length && *length > kMaxAnswerBytes) {
            fail(http::error::body_limit);
        }
        if (!parser.is_done()) {
            if (auto ec =
                    RunOnStream(timeout, [&](auto& s, auto handler) { http::async_read(s, buffer, parser, handler); })) {
                fail(ec);
            }
        }
        if (parser.get().result() == http::status::unauthorized) {
            throw ENetConnectionError("O servidor de aplicação recusou a credencial desta conexão.");
        }
        return parser.release();
    }
};

TNetConnection::TNetConnection(TComponent* owner, std::string name) : TComponent(owner, std::move(name)) {}

TNetConnection::~TNetConnection() { Disconnect(); }

bool TNetConnection::Connected() const { return transport_ != nullptr; }

void TNetConnection::SetConnected(bool connected) {
    if (!connected) {
        Disconnect();
        return;
    }
    if (Connected()) return;
    try {
        Connect();
    } catch (const ENetConnectionError& e) {
        if (ThrowException) throw;
        Application().Host().ShowException(e.what(), e.Details());
    }
}

void TNetConnection::Connect() {
    Disconnect();
    if (BeforeConnect) BeforeConnect(*this);
    const std::string where = Host + ":" + std::to_string(Port);
    auto transport = std::make_unique<Transport>();
    error_code ec;
    tcp::resolver resolver(transport->io);
    const auto endpoints = resolver.resolve(Host, std::to_string(Port), ec);
    if (!ec) {
        ec = transport->Run(ConnectTimeout, [&](auto handler) { transport->stream.async_connect(endpoints, handler); });
    }
    if (ec) {
        throw ENetConnectionError(
            "Não foi possível conectar ao servidor de aplicação em " + where + ": " + Reason(ec) + ".", ec.message());
    }
    transport->stream.socket().set_option(tcp::no_delay(true), ec);
    transport->host_header = where;
    transport->target = "/rpc/" + ServerName;

    // What the host says, unless this connection says otherwise.
    std::string token = Token;
    std::string ca_file = TlsCaFile;
    if (TApplication::Exists()) {
        if (token.empty()) token = TApplication::Instance().Values().WebToken;
        if (ca_file.empty()) ca_file = TApplication::Instance().Values().WebTlsCaFile;
    }
    if (!token.empty()) transport->authorization = "Bearer " + token;
    if (!ca_file.empty()) {
        transport->tls = std::make_unique<ssl::context>(ssl::context::tls_client);
        transport->tls->set_verify_mode(ssl::verify_peer);
        transport->tls->load_verify_file(ca_file, ec);
        if (ec) throw ENetConnectionError("Arquivo de certificados inválido: '" + ca_file + "'.");
        transport->secure.emplace(transport->stream, *transport->tls);
        transport->secure->set_verify_callback(ssl::host_name_verification(Host));
        SSL_set_tlsext_host_name(transport->secure->native_handle(), Host.c_str());
        ec = transport->Run(ConnectTimeout, [&](auto handler) {
            transport->secure->async_handshake(ssl::stream_base::client, handler);
        });
        if (ec) {
            throw ENetConnectionError(
                "Não foi possível estabelecer conexão segura com " + where + ": " + Reason(ec) + ".", ec.message());
        }
    }

    // The server must host the remote data module this connection names.
    http::request<http::string_body> request{http::verb::get, transport->target, 11};
    request.set(http::field::host, transport->host_header);
    SetUserHeader(request);
    request.keep_alive(true);
    const auto response = transport->Exchange(request, ReadTimeout);
    if (response.result() == http::status::not_found) {
        throw ENetConnectionError("O servidor de aplicação em " + where + " não oferece '" + ServerName + "'.");
    }
    if (response.result() != http::status::ok) {
        throw ENetConnectionError("O servidor de aplicação em " + where + " recusou a conexão (HTTP " +
                                  std::to_string(response.result_int()) + ").");
    }
    transport_ = std::move(transport);
}

void TNetConnection::Disconnect() noexcept {
    if (!transport_) return;
    error_code ignored;
    transport_->stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
    transport_->stream.socket().close(ignored);
    transport_.reset();
}

nlohmann::json TNetConnection::Post(const nlohmann::json& body) {
    // A connection the server dropped while idle is made again before the request goes out:
    // nothing was sent on it, so this is no retry.
    if (!transport_ || transport_->PeerClosed()) Connect();
    http::request<http::string_body> request{http::verb::post, transport_->target, 11};
    request.set(http::field::host, transport_->host_header);
    request.set(http::field::content_type, "application/json");
    SetUserHeader(request);
    request.keep_alive(true);
    request.body() = body.dump();
    http::response<http::string_body> response;
    try {
        response = transport_->Exchange(request, ReadTimeout);
    } catch (...) {
        Disconnect();
        throw;
    }
    if (!response.keep_alive()) Disconnect();
    if (response.result() != http::status::ok) {
        throw ENetConnectionError("O servidor de aplicação respondeu HTTP " + std::to_string(response.result_int()) +
                                  ".");
    }
    auto parsed = ParseAnswer(response.body());
    if (parsed.is_discarded() || !parsed.is_object()) {
        Disconnect();
        throw ENetConnectionError("Resposta inválida do servidor de aplicação.");
    }
    return parsed;
}

namespace {

nlohmann::json JsonOf(const RemoteValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    if (const auto* date = std::get_if<TDateTime>(&value)) return DateTimeToIso(*date);
    if (const auto* flag = std::get_if<bool>(&value)) return *flag;
    return nullptr;
}

nlohmann::json ParamsOf(const std::vector<RemoteArgument>& arguments) {
    nlohmann::json params = nlohmann::json::array();
    for (const auto& argument : arguments) {
        if (const auto* text = std::get_if<std::string>(&argument)) {
            params.push_back(*text);
        } else if (const auto* date = std::get_if<TDateTime>(&argument)) {
            params.push_back(DateTimeToIso(*date));
        } else {
            nlohmann::json object = nlohmann::json::object();
            for (const auto& [name, value] : std::get<RemoteObject>(argument)) object[name] = JsonOf(value);
            params.push_back(std::move(object));
        }
    }
    return params;
}


}  // namespace

std::optional<std::string> EAppServerError::DataValue(std::string_view name) const {
    const auto found = data_.find(name);
    return found == data_.end() ? std::nullopt : found->second;
}

nlohmann::json TAppServer::Call(const std::string& method, const std::vector<RemoteArgument>& arguments) {
    const nlohmann::json params = ParamsOf(arguments);
    const std::int64_t id = connection_->next_id_++;
    const nlohmann::json request = {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}};
    nlohmann::json response = connection_->Post(request);
    if (const auto error = response.find("error"); error != response.end() && error->is_object()) {
        RaiseAnswerError(*error);
    }
    const auto result = response.find("result");
    if (result == response.end()) throw ENetConnectionError("Resposta inválida do servidor de aplicação.");
    if (TApplication::Exists()) TApplication::Instance().Host().RemoteCallSucceeded(method, arguments);
    return std::move(*result);
}

DataPacket TAppServer::CallPacket(const std::string& method, const std::vector<RemoteArgument>& arguments) {
    return PacketFromJson(Call(method, arguments));
}

void TAppServer::CallProcedure(const std::string& method, const std::vector<RemoteArgument>& arguments) {
    Call(method, arguments);
}

}  // namespace hostlib
