#include "event_loop.h"

#include <unistd.h>
#include <boost/asio/post.hpp>
#include <boost/asio/socket_base.hpp>
#include <boost/asio/write.hpp>

#include "http_response.h"
#include "http_session.h"

namespace appserver {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using boost::system::error_code;

namespace {

constexpr std::chrono::seconds kSweepEvery{1};
// While stopping, the loop ends soon after its last connection closes.
constexpr std::chrono::milliseconds kSweepWhileStopping{50};
constexpr std::chrono::milliseconds kFirstAcceptPause{50};
constexpr std::chrono::milliseconds kLongestAcceptPause{1000};

// The whole answer to a connection over a limit.
std::string TooManyConnections(ConnectionLimiter::Refusal refusal) {
    std::string out;
    const std::string body =
        ErrorBody(refusal == ConnectionLimiter::Refusal::Address ? "Conexões demais a partir deste endereço."
                                                                 : "Conexões demais neste servidor; tente mais tarde.");
    HttpAnswer answer;
    answer.status = 503;
    answer.body = body;
    answer.after = ConnectionAfter::Close;
    WriteHttpAnswer(answer, out);
    return out;
}

// Running out of descriptors or memory passes when connections close: waiting is the cure.
bool ShortOfResources(const error_code& ec) {
    return ec == asio::error::no_descriptors || ec == asio::error::no_buffer_space || ec == asio::error::no_memory ||
           ec.value() == ENFILE;
}

}  // namespace

EventLoop::EventLoop(ServerCore& core, int index)
    : core_(core), index_(index), reader_(core.options.database_url, ServerSessionOptions(core.options), core.file) {
    core_.loop_metrics.push_back(&metrics_);
}

EventLoop::~EventLoop() { Join(); }

bool EventLoop::Listen(const tcp::endpoint& endpoint, std::vector<EventLoop*> loops, error_code& error) {
    loops_ = std::move(loops);
    acceptor_.open(endpoint.protocol(), error);
    if (!error) acceptor_.set_option(asio::socket_base::reuse_address(true), error);
    if (!error) acceptor_.bind(endpoint, error);
    if (!error) acceptor_.listen(asio::socket_base::max_listen_connections, error);
    if (error) {
        error_code ignored;
        acceptor_.close(ignored);
        return false;
    }
    return true;
}

void EventLoop::Adopt(tcp protocol, tcp::socket::native_handle_type descriptor) {
    asio::post(io_, [this, protocol, descriptor] {
        error_code ec;
        tcp::socket socket(io_);
        socket.assign(protocol, descriptor, ec);
        if (ec) {
            ::close(descriptor);  // not the socket's: assigning it failed
            return;
        }
        if (stopping_) return;  // the socket closes it
        Welcome(std::move(socket));
    });
}

unsigned short EventLoop::Port() const {
    error_code ignored;
    return acceptor_.is_open() ? acceptor_.local_endpoint(ignored).port() : 0;
}

void EventLoop::Start() {
    if (acceptor_.is_open()) Accept();
    Sweep();
    work_.emplace(io_.get_executor());
    thread_ = std::thread([this] { io_.run(); });
}

void EventLoop::Finish() {
    asio::post(io_, [this] { work_.reset(); });
}

void EventLoop::Shutdown() {
    asio::post(io_, [this] {
        stopping_ = true;
        error_code ignored;
        acceptor_.close(ignored);
        accept_pause_.cancel();
        for (const auto& weak : connections_) {
            if (const auto connection = weak.lock()) connection->Drain();
        }
        // The sweep goes on, more often, while connections finish, so that a client that does
        // not take its answer is still cut at its deadline.
        sweep_timer_.cancel();
        Sweep();
    });
}

void EventLoop::Join() {
    if (thread_.joinable()) thread_.join();
}

const std::shared_ptr<const ClientTable>& EventLoop::Clients() {
    const std::uint64_t version = core_.clients.Version();
    if (!clients_ || version != clients_version_) {
        clients_version_ = version;  // read first: a table replaced meanwhile is fetched next time
        clients_ = core_.clients.Current();
    }
    return clients_;
}

void EventLoop::Accept() {
    acceptor_.async_accept([this](error_code ec, tcp::socket socket) {
        if (stopping_ || ec == asio::error::operation_aborted || !acceptor_.is_open()) return;
        if (ShortOfResources(ec)) {
            // Spinning on a full descriptor table would serve nobody: wait, then try again.
            accept_backoff_ =
                accept_backoff_.count() == 0 ? kFirstAcceptPause : std::min(accept_backoff_ * 2, kLongestAcceptPause);
            if (accept_backoff_ == kFirstAcceptPause) {
                LogEvent("sem descritores para novas conexões: " + ec.message());
            }
            accept_pause_.expires_after(accept_backoff_);
            accept_pause_.async_wait([this](error_code wait) {
                if (!wait) Accept();
            });
            return;
        }
        accept_backoff_ = std::chrono::milliseconds(0);
        if (!ec) {
            EventLoop* target = loops_.empty() ? this : loops_[next_loop_++ % loops_.size()];
            if (target == this) {
                Welcome(std::move(socket));
            } else {
                error_code released;
                const auto protocol = acceptor_.local_endpoint(released).protocol();
                const auto descriptor = socket.release(released);
                if (!released) target->Adopt(protocol, descriptor);
            }
        }
        Accept();
    });
}

void EventLoop::Welcome(tcp::socket socket) {
    error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);
    const auto peer = socket.remote_endpoint(ignored);
    ConnectionLimiter::Refusal refusal = ConnectionLimiter::Refusal::None;
    const Admission admission = Clients()->RequiresToken() ? Admission::Unproven : Admission::Trusted;
    auto slot = core_.limiter->Acquire(peer.address().to_string(), admission, refusal);
    if (!slot) {
        // A fresh socket takes these few bytes without blocking.
        asio::write(socket, asio::buffer(TooManyConnections(refusal)), ignored);
        socket.shutdown(tcp::socket::shutdown_both, ignored);
        socket.close(ignored);
        return;
    }
    std::shared_ptr<Connection> connection;
    if (core_.tls) {
        auto session = std::make_shared<HttpSession<SecureStream>>(*this, std::move(slot),
                                                                   SecureStream(std::move(socket), *core_.tls));
        session->Start();
        connection = std::move(session);
    } else {
        auto session = std::make_shared<HttpSession<PlainStream>>(*this, std::move(slot), std::move(socket));
        session->Start();
        connection = std::move(session);
    }
    Register(connection);
}

void EventLoop::CheckDatabaseFiles() {
    if (core_.file.Gone()) return;
    const FileCheck check = core_.file.Check();
    if (check == FileCheck::Intact) return;
    // A log deleted under an idle server: the writer saves what it holds through its session.
    if (check == FileCheck::LogRemoved) return core_.writer.AskToSaveLog();
    LogEvent("banco de dados: " + core_.file.Reason() + "; pedidos recusados até reiniciar");
}

void EventLoop::Sweep() {
    const auto now = Clock::now();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < connections_.size(); ++i) {
        const auto connection = connections_[i].lock();
        if (!connection) continue;
        connection->CloseIfExpired(now);
        // A moved-to-itself weak pointer would come out empty.
        if (kept != i) connections_[kept] = std::move(connections_[i]);
        ++kept;
    }
    connections_.resize(kept);
    if (!stopping_) {
        reader_.ReopenIfAsked();
        if (index_ == 0) CheckDatabaseFiles();
    } else if (connections_.empty()) {
        return;  // nothing left to wait for: the loop may end
    }
    sweep_timer_.expires_after(stopping_ ? kSweepWhileStopping : kSweepEvery);
    sweep_timer_.async_wait([this](error_code ec) {
        if (!ec) Sweep();
    });
}

}  // namespace appserver
