#include "http_session.h"

#include <unistd.h>

#include <algorithm>
#include <boost/asio/post.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <cstdio>
#include <cstring>

#include "core/ascii_text.h"
#include "data_emissao_contract.h"
#include "core/login_name.h"
#include "json_text.h"
#include "request_origin.h"

namespace appserver {

namespace asio = boost::asio;
using boost::system::error_code;

namespace {

constexpr std::size_t kReadChunk = 16 * 1024;
constexpr std::uint32_t kHeaderLimit = 16 * 1024;
// How long, and how much, a refused request's remaining bytes are read before closing.
constexpr std::chrono::seconds kLingerTime{5};
constexpr std::size_t kLingerBytes = 8 * 1024 * 1024;
// How long a connection that has shown no token yet may stay idle.
constexpr std::chrono::milliseconds kUnprovenIdle{std::chrono::seconds(10)};
// What a connection keeps of its buffers between requests.
constexpr std::size_t kKeptBufferBytes = 64 * 1024;

const std::string& ModulePath() {
    static const std::string path = "/rpc/" + std::string(vor17000::kServerName);
    return path;
}

const std::string& ConnectAnswer() {
    static const std::string body = [] {
        std::string out = "{\"server\":";
        AppendJsonString(out, vor17000::kServerName);
        return out + ",\"methods\":" + RpcMethodList() + "}";
    }();
    return body;
}

void WriteLogLine(RequestLog log, const std::string& method, Clock::time_point start, const std::string& outcome) {
    if (log == RequestLog::None) return;
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    char figure[32];
    std::snprintf(figure, sizeof figure, " %.3f ms ", ms);
    std::string line = EscapedForLog(method) + figure + EscapedForLog(outcome) + "\n";
    // One write per line keeps lines whole across threads without a lock.
    [[maybe_unused]] const auto written = ::write(2, line.data(), line.size());
}

}  // namespace

void ReadBuffer::Reserve(std::size_t n) {
    if (FreeSize() >= n) return;
    const std::size_t pending = PendingSize();
    if (begin_ > 0 && capacity_ - pending >= n) {
        std::memmove(data_.get(), data_.get() + begin_, pending);
    } else {
        auto bigger = std::make_unique<char[]>(pending + n);
        if (pending > 0) std::memcpy(bigger.get(), data_.get() + begin_, pending);
        data_ = std::move(bigger);
        capacity_ = pending + n;
    }
    begin_ = 0;
    end_ = pending;
}

void ReadBuffer::Shrink() {
    if (PendingSize() == 0) begin_ = end_ = 0;
    if (capacity_ > 4 * kReadChunk && PendingSize() == 0) {
        data_.reset();
        capacity_ = 0;
    }
}

template <class Stream>
HttpSession<Stream>::HttpSession(EventLoop& loop, std::unique_ptr<ConnectionLimiter::Slot> slot, Stream stream)
    : loop_(loop),
      slot_(std::move(slot)),
      stream_(std::move(stream)),
      call_(loop.Reader(), loop.Core().writer,
            RpcLimits{loop.Core().options.answer_limit},
            &loop.Metrics()) {
    caller_.origin = slot_ ? slot_->Address() : std::string();
    // Stores finish on the writer's thread; what follows runs back on this loop, with the
    // connection kept alive by `waiting_` until the answer goes out.
    resume_ = [this](std::function<void()> work) {
        asio::post(loop_.Io(), [this, work = std::move(work)] {
            work();
            if (call_.Finished()) SendRpcAnswer();
        });
    };
}

template <class Stream>
asio::ip::tcp::socket& HttpSession<Stream>::Socket() {
    if constexpr (std::is_same_v<Stream, SecureStream>) {
        return stream_.next_layer();
    } else {
        return stream_;
    }
}

template <class Stream>
void HttpSession<Stream>::Start() {
    if (slot_ && !slot_->Proven()) {
        // The budget of unproven connections may need this one's room: it is closed on its own
        // loop, whichever thread decides.
        slot_->OnEvicted([weak = this->weak_from_this(), &io = loop_.Io()] {
            asio::post(io, [weak] {
                if (const auto self = weak.lock()) self->Close();
            });
        });
    }
    if constexpr (std::is_same_v<Stream, SecureStream>) {
        phase_ = Phase::Handshake;
        SetDeadline(loop_.Core().options.request_timeout);
        stream_.async_handshake(asio::ssl::stream_base::server, [self = this->shared_from_this()](error_code ec) {
            if (ec) return self->Close();
            self->WaitForRequest();
        });
    } else {
        // Once: the reads made when the socket is ready must not block, and setting it is a
        // system call.
        error_code ec;
        stream_.non_blocking(true, ec);
        if (ec) return Close();
        WaitForRequest();
    }
}

template <class Stream>
void HttpSession<Stream>::WaitForRequest() {
    parser_.emplace(request_);
    parser_->header_limit(kHeaderLimit);
    parser_->body_limit(loop_.Core().options.body_limit);
    parser_->eager(true);
    if (in_.PendingSize() > 0) {
        // The next request came along with the last one.
        phase_ = Phase::Reading;
        started_ = Clock::now();
        SetDeadline(loop_.Core().options.request_timeout);
        Parse();
        return;
    }
    phase_ = Phase::Idle;
    // A connection that has not shown a token yet gets a short while to do so.
    const bool unproven = slot_ && !slot_->Proven();
    SetDeadline(unproven ? std::min(loop_.Core().options.idle_timeout, kUnprovenIdle) : loop_.Core().options.idle_timeout);
    in_.Shrink();
    if constexpr (std::is_same_v<Stream, PlainStream>) {
        // Right after an answer the client has sent nothing yet: wait for the socket to have
        // bytes rather than try a read bound to find none.
        stream_.async_wait(asio::ip::tcp::socket::wait_read, [self = this->shared_from_this()](error_code ec) {
            if (ec) return self->Close();
            self->ReadReady();
        });
    } else {
        // The TLS layer may already hold the next request's bytes, which the socket would not show.
        ReadMore();
    }
}

template <class Stream>
void HttpSession<Stream>::ReadReady() {
    if constexpr (std::is_same_v<Stream, PlainStream>) {
        in_.Reserve(kReadChunk);
        error_code ec;
        const std::size_t n = stream_.read_some(asio::buffer(in_.Free(), in_.FreeSize()), ec);
        if (ec == asio::error::would_block) return WaitForRequest();
        if (!ec && n == 0) ec = asio::error::eof;
        OnRead(ec, n);
    }
}

template <class Stream>
void HttpSession<Stream>::ReadMore() {
    in_.Reserve(kReadChunk);
    stream_.async_read_some(asio::buffer(in_.Free(), in_.FreeSize()),
                            [self = this->shared_from_this()](error_code ec, std::size_t n) { self->OnRead(ec, n); });
}

template <class Stream>
void HttpSession<Stream>::OnRead(error_code ec, std::size_t n) {
    if (ec || phase_ == Phase::Closed) return Close();
    in_.Commit(n);
    if (phase_ == Phase::Idle) {
        // From its first byte a request has the request timeout to arrive whole, however
        // slowly its bytes come, over TLS as over plain TCP.
        phase_ = Phase::Reading;
        started_ = Clock::now();
        SetDeadline(loop_.Core().options.request_timeout);
    }
    Parse();
}

template <class Stream>
void HttpSession<Stream>::Parse() {
    for (;;) {
        if (in_.PendingSize() == 0) return ReadMore();
        error_code ec;
        const std::size_t used = parser_->put(asio::const_buffer(in_.Pending(), in_.PendingSize()), ec);
        in_.Consume(used);
        if (ec == http::error::need_more) {
            if (used == 0) return NeedMoreOfALine();
            continue;
        }
        if (ec == http::error::body_limit) return Refuse(413, "Requisição grande demais.", ConnectionAfter::Close);
        if (ec == http::error::header_limit) return Refuse(431, "Cabeçalho grande demais.", ConnectionAfter::Close);
        if (ec == kRefusedTransferEncoding) {
            return Refuse(400, "Codificação de transferência não aceita (só \"chunked\").", ConnectionAfter::Close);
        }
        if (ec) return Refuse(400, "Requisição HTTP inválida.", ConnectionAfter::Close);
        if (parser_->is_done()) return Handle();
        if (used == 0) return NeedMoreOfALine();
    }
}

// The parser takes nothing until a whole line (a chunk's size, a trailer field) is there: such a
// line counts against the header limit, or a client could send one without end.
template <class Stream>
void HttpSession<Stream>::NeedMoreOfALine() {
    if (in_.PendingSize() > kHeaderLimit) return Refuse(431, "Linha de cabeçalho grande demais.", ConnectionAfter::Close);
    ReadMore();
}

template <class Stream>
void HttpSession<Stream>::Handle() {
    phase_ = Phase::Handling;
    keep_alive_ = parser_->keep_alive();
    http10_ = request_.version == 10;
    const ConnectionAfter after = keep_alive_ ? ConnectionAfter::KeepAlive : ConnectionAfter::Close;
    // The load balancer asks without a token; the answer tells nothing but up or down.
    if (request_.target == "/healthz" && (request_.method == http::verb::get || request_.method == http::verb::head)) {
        // A token file that could not be read again refuses everyone: not a server to send to.
        const bool up = loop_.Core().health.Healthy() && !loop_.Clients()->RefusesEveryone();
        HttpAnswer answer;
        answer.status = up ? 200 : 503;
        answer.body = up ? R"({"status":"ok"})" : R"({"status":"unavailable"})";
        answer.after = after;
        return Send(answer, "health", "health", up ? RequestOutcome{} : RequestOutcome::Status(503));
    }
    // What a web page could make a browser send: a page of another site, or one whose name
    // was rebound to this loopback address.
    if (loop_.Core().listens_on_loopback && !request_.host.empty() && !IsLoopbackHost(request_.host)) {
        return Refuse(403, "Nome de servidor não aceito neste endereço.", ConnectionAfter::Close);
    }
    if (request_.has_origin && !IsSameOrigin(request_.origin, request_.host)) {
        return Refuse(403, "Origem não aceita.", ConnectionAfter::Close);
    }
    clients_ = loop_.Clients();
    const Client* client = nullptr;
    if (clients_->RequiresToken()) {
        client = clients_->Authenticate(request_.authorization);
        if (client == nullptr) return Refuse(401, "Não autorizado.", ConnectionAfter::Close);
        if (slot_ && !slot_->Prove()) {
            return Refuse(503, "Conexões demais a partir deste endereço.", ConnectionAfter::Close);
        }
    }
    if (request_.has_user && !hostlib::IsAcceptableUserName(request_.user)) {
        return Refuse(400, "Usuário inválido no cabeçalho X-Vor17000-Usuario.", ConnectionAfter::Close);
    }
    if (request_.target == "/metrics" && request_.method == http::verb::get) {
        body_ = loop_.Core().Metrics();
        HttpAnswer answer;
        answer.body = body_;
        answer.after = after;
        answer.content_type = "text/plain; version=0.0.4; charset=utf-8";
        return Send(answer, "metrics", "metrics", RequestOutcome{});
    }
    if (request_.target.rfind("/rpc/", 0) != 0) return Refuse(404, "Caminho desconhecido.", after);
    if (request_.target != ModulePath()) {
        return Refuse(404, "Módulo remoto não encontrado neste servidor.", after);
    }
    if (request_.method == http::verb::get) {
        HttpAnswer answer;
        answer.body = ConnectAnswer();
        answer.after = after;
        return Send(answer, "connect", "connect", RequestOutcome{});
    }
    if (request_.method != http::verb::post) {
        return Refuse(405, "Método HTTP não permitido.", after);
    }
    if (!IsJsonContentType(request_.content_type)) {
        return Refuse(415, "O corpo deve ser JSON (Content-Type: application/json).", after);
    }
    HandleRpc(client);
}

namespace {

// The client's address as a trusted proxy in front reports it: the last entry of its list,
// the one the proxy itself added.
std::string ForwardedClient(const std::string& list) {
    const auto comma = list.rfind(',');
    const std::string last(
        hostlib::TrimmedBlanks(std::string_view(list).substr(comma == std::string::npos ? 0 : comma + 1)));
    if (last.empty()) return {};
    boost::system::error_code ec;
    const auto address = asio::ip::make_address(last, ec);
    return ec ? std::string() : address.to_string();
}

}  // namespace

template <class Stream>
void HttpSession<Stream>::HandleRpc(const Client* client) {
    caller_.client = client;
    caller_.user = request_.user;
    caller_.origin = slot_ ? slot_->Address() : std::string();
    const auto& proxies = loop_.Core().options.trusted_proxies;
    if (!request_.forwarded_for.empty() && std::find(proxies.begin(), proxies.end(), caller_.origin) != proxies.end()) {
        if (std::string forwarded = ForwardedClient(request_.forwarded_for); !forwarded.empty()) {
            caller_.origin = std::move(forwarded);
        }
    }
    if (call_.Start(request_.body, caller_, resume_)) return SendRpcAnswer();
    waiting_ = this->shared_from_this();  // until the writer is done with the stores
}

template <class Stream>
void HttpSession<Stream>::SendRpcAnswer() {
    const auto self = std::move(waiting_);
    if (phase_ == Phase::Closed) return;
    HttpAnswer answer;
    answer.after = keep_alive_ ? ConnectionAfter::KeepAlive : ConnectionAfter::Close;
    const RpcSummary& summary = call_.Summary();
    if (call_.Answer().empty()) {
        answer.status = 204;  // notifications only
    } else {
        answer.body = call_.Answer();
    }
    Send(answer, summary.method, summary.metric, summary.outcome);
}

template <class Stream>
void HttpSession<Stream>::Refuse(int status, std::string_view text, ConnectionAfter after) {
    if (phase_ != Phase::Handling) started_ = Clock::now();
    body_ = ErrorBody(text);
    HttpAnswer answer;
    answer.status = status;
    answer.body = body_;
    answer.after = after;
    answer.ask_for_credentials = status == 401;
    answer.allow = status == 405;
    Send(answer, "-", "other", RequestOutcome::Status(status));
}

template <class Stream>
void HttpSession<Stream>::Send(HttpAnswer answer, const std::string& log_method, std::string_view metric,
                               const RequestOutcome& outcome) {
    answer.head = request_.method == http::verb::head;
    answer.http10_keep_alive = http10_ && answer.after == ConnectionAfter::KeepAlive;
    WriteHttpAnswer(answer, out_);
    WriteLogLine(loop_.Core().options.log, log_method, started_, outcome.LogText());
    loop_.Metrics().Request(metric, outcome, std::chrono::duration<double>(Clock::now() - started_).count());
    phase_ = Phase::Writing;
    SetDeadline(loop_.Core().options.request_timeout);
    const bool refused = answer.status >= 400 && answer.after == ConnectionAfter::Close;
    asio::async_write(stream_, asio::buffer(out_),
                      [self = this->shared_from_this(), after = answer.after, refused](error_code ec, std::size_t) {
                          self->ReleaseLargeBuffers();
                          if (ec) return self->Close();
                          if (after == ConnectionAfter::Close || self->draining_) {
                              return refused ? self->LingerAndClose() : self->Close();
                          }
                          self->WaitForRequest();
                      });
}

// A connection that sat idle would otherwise keep the memory of its largest answer (several
// megabytes) for as long as it stays open; small buffers are kept, they serve the next request.
template <class Stream>
void HttpSession<Stream>::ReleaseLargeBuffers() {
    const auto release = [](std::string& buffer) {
        if (buffer.capacity() > kKeptBufferBytes) std::string().swap(buffer);
    };
    release(out_);
    release(body_);
    release(request_.body);
    call_.ReleaseLargeBuffers(kKeptBufferBytes);
}

// After refusing a request whose body may still be arriving, the rest is read and dropped
// for a while before closing: closing on unread bytes resets the connection, and the client
// (still sending, as most do without "Expect: 100-continue") would lose the answer.
template <class Stream>
void HttpSession<Stream>::LingerAndClose() {
    phase_ = Phase::Lingering;
    error_code ignored;
    Socket().shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
    deadline_ = Clock::now() + kLingerTime;
    Discard();
}

template <class Stream>
void HttpSession<Stream>::Discard() {
    in_.Reserve(kReadChunk);
    Socket().async_read_some(asio::buffer(in_.Free(), in_.FreeSize()),
                             [self = this->shared_from_this()](error_code ec, std::size_t n) {
                                 self->discarded_ += n;
                                 if (ec || self->discarded_ > kLingerBytes) return self->Close();
                                 self->Discard();
                             });
}

template <class Stream>
void HttpSession<Stream>::CloseIfExpired(Clock::time_point now) {
    if (phase_ != Phase::Closed && now > deadline_) Close();
}

template <class Stream>
void HttpSession<Stream>::Drain() {
    // Waiting on the writer, or writing an answer: that answer goes out first.
    if (phase_ == Phase::Handling || phase_ == Phase::Writing) {
        draining_ = true;
        return;
    }
    Close();
}

template <class Stream>
void HttpSession<Stream>::Close() {
    if (phase_ == Phase::Closed) return;
    phase_ = Phase::Closed;
    error_code ignored;
    Socket().shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    Socket().close(ignored);
}

template class HttpSession<PlainStream>;
template class HttpSession<SecureStream>;

}  // namespace appserver
