#pragma once
// One event loop of the server: a thread running its own I/O context, the connections given
// to it and the database session they read through. The first loop accepts for all and
// hands each new connection to the loops in turn; from then on a connection, and every
// request on it, stays on its loop.
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "data_emissao_module.h"
#include "server_core.h"

namespace appserver {

using Clock = std::chrono::steady_clock;

// What the loop asks of each of its connections.
class Connection {
public:
    virtual ~Connection() = default;
    // Closes the connection when it has outlived its current deadline.
    virtual void CloseIfExpired(Clock::time_point now) = 0;
    virtual void Close() = 0;
    // The server is stopping: read no new request; a request being answered (a store with the
    // writer, an answer being written) finishes first, then the connection closes.
    virtual void Drain() = 0;
};

class EventLoop {
public:
    EventLoop(ServerCore& core, int index);
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Makes this the accepting loop, handing connections to `loops` in turn (itself among them).
    bool Listen(const boost::asio::ip::tcp::endpoint& endpoint, std::vector<EventLoop*> loops,
                boost::system::error_code& error);
    unsigned short Port() const;
    void Start();
    // Takes a connection accepted by the accepting loop (any thread).
    void Adopt(boost::asio::ip::tcp protocol, boost::asio::ip::tcp::socket::native_handle_type descriptor);
    // Closes the acceptor and lets every connection finish the request it is answering, then
    // close; the loop ends once they have (and Finish was called).
    void Shutdown();
    // Lets the thread end once nothing is left to do (stores finishing included).
    void Finish();
    void Join();

    boost::asio::io_context& Io() { return io_; }
    ServerCore& Core() { return core_; }
    DataEmissaoModule& Reader() { return reader_; }
    RequestMetrics& Metrics() { return metrics_; }
    // The client table in force, kept by the loop until the token file is read again.
    const std::shared_ptr<const ClientTable>& Clients();
    // Connections register themselves to be swept for deadlines and closed at shutdown.
    void Register(const std::shared_ptr<Connection>& connection) { connections_.push_back(connection); }

private:
    void Accept();
    void Welcome(boost::asio::ip::tcp::socket socket);
    void Sweep();
    // The first loop looks at the database's files now and then, so that a file deleted under
    // an idle server is noticed (and what can be saved, saved) before the next store.
    void CheckDatabaseFiles();

    ServerCore& core_;
    int index_;
    boost::asio::io_context io_{1};
    boost::asio::ip::tcp::acceptor acceptor_{io_};
    boost::asio::steady_timer sweep_timer_{io_};
    boost::asio::steady_timer accept_pause_{io_};
    std::chrono::milliseconds accept_backoff_{0};
    std::vector<EventLoop*> loops_;
    std::size_t next_loop_ = 0;
    DataEmissaoModule reader_;
    RequestMetrics metrics_;
    std::vector<std::weak_ptr<Connection>> connections_;
    std::shared_ptr<const ClientTable> clients_;
    std::uint64_t clients_version_ = 0;
    std::optional<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> work_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace appserver
