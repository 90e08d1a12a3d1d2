#pragma once
// One connection, plain or TLS, owned by the event loop that accepted it: requests read and
// answered one after the other. The next request is not read before the last answer has
// gone out, so a client that does not take its answers stops being read.
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <memory>
#include <optional>
#include <string>

#include "event_loop.h"
#include "http_request_parser.h"
#include "http_response.h"
#include "rpc_dispatch.h"

namespace appserver {

using PlainStream = boost::asio::ip::tcp::socket;
using SecureStream = boost::asio::ssl::stream<boost::asio::ip::tcp::socket>;

// Bytes read from a connection and not yet parsed; it keeps its memory between requests.
class ReadBuffer {
public:
    char* Free() { return data_.get() + end_; }
    std::size_t FreeSize() const { return capacity_ - end_; }
    const char* Pending() const { return data_.get() + begin_; }
    std::size_t PendingSize() const { return end_ - begin_; }
    void Consume(std::size_t n) { begin_ += n; }
    void Commit(std::size_t n) { end_ += n; }
    // Room for `n` more bytes, moving what is pending to the front first.
    void Reserve(std::size_t n);
    // Gives back memory a large request took, once nothing is pending.
    void Shrink();

private:
    std::unique_ptr<char[]> data_;
    std::size_t capacity_ = 0;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

template <class Stream>
class HttpSession : public Connection, public std::enable_shared_from_this<HttpSession<Stream>> {
public:
    HttpSession(EventLoop& loop, std::unique_ptr<ConnectionLimiter::Slot> slot, Stream stream);

    void Start();
    void CloseIfExpired(Clock::time_point now) override;
    void Close() override;
    void Drain() override;

private:
    enum class Phase { Handshake, Idle, Reading, Handling, Writing, Lingering, Closed };

    boost::asio::ip::tcp::socket& Socket();
    void WaitForRequest();
    void ReadMore();
    void ReadReady();
    void OnRead(boost::system::error_code ec, std::size_t n);
    void Parse();
    void NeedMoreOfALine();
    void Handle();
    void HandleRpc(const Client* client);
    void SendRpcAnswer();
    void Refuse(int status, std::string_view text, ConnectionAfter after);
    // `metric` is the metrics' label of the request, `log_method` what the log names it.
    void Send(HttpAnswer answer, const std::string& log_method, std::string_view metric,
              const RequestOutcome& outcome);
    void OnWritten(boost::system::error_code ec, ConnectionAfter after);
    void ReleaseLargeBuffers();
    void LingerAndClose();
    void Discard();
    void SetDeadline(std::chrono::milliseconds from_now) { deadline_ = Clock::now() + from_now; }

    EventLoop& loop_;
    std::unique_ptr<ConnectionLimiter::Slot> slot_;
    Stream stream_;
    Phase phase_ = Phase::Idle;
    Clock::time_point deadline_;
    Clock::time_point started_;
    ReadBuffer in_;
    HttpRequest request_;
    std::optional<HttpRequestParser> parser_;
    std::shared_ptr<const ClientTable> clients_;  // the table this request was checked against
    Caller caller_;
    RpcCall call_;
    RpcCall::Resume resume_;
    // The connection itself while its stores are with the writer (nothing else holds it then).
    std::shared_ptr<HttpSession> waiting_;
    std::string out_;
    std::string body_;  // non-RPC answers
    bool keep_alive_ = true;
    bool http10_ = false;
    bool draining_ = false;  // the server is stopping: close once the answer in hand is sent
    std::size_t discarded_ = 0;
};

extern template class HttpSession<PlainStream>;
extern template class HttpSession<SecureStream>;

}  // namespace appserver
