#include "testkit/raw_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>

namespace testing_support {

RawHttpConnection::RawHttpConnection(unsigned short port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

RawHttpConnection::~RawHttpConnection() {
    if (fd_ >= 0) ::close(fd_);
}

bool RawHttpConnection::Send(const std::string& bytes) {
    std::size_t sent = 0;
    while (fd_ >= 0 && sent < bytes.size()) {
        const auto n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;  // the server may close early (an oversized body, say)
        sent += static_cast<std::size_t>(n);
    }
    return fd_ >= 0;
}

HttpResponse RawHttpConnection::Receive(int timeout_ms) {
    HttpResponse response;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    auto complete = [&]() -> bool {
        const auto end = pending_.find("\r\n\r\n");
        if (end == std::string::npos) return false;
        std::size_t length = 0;
        std::string headers = pending_.substr(0, end);
        std::string lower = headers;
        for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (const auto at = lower.find("content-length:"); at != std::string::npos) {
            length = std::stoul(lower.substr(at + 15));
        }
        if (pending_.size() < end + 4 + length) return false;
        response.status = std::stoi(pending_.substr(9, 3));
        response.headers = headers;
        response.body = pending_.substr(end + 4, length);
        response.closed = lower.find("connection: close") != std::string::npos;
        pending_.erase(0, end + 4 + length);
        return true;
    };
    while (fd_ >= 0 && !complete()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[65536];
        const auto n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) {
            response.closed = true;
            break;
        }
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
    return response;
}

std::string RpcPost(const std::string& body, const std::string& path) {
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace testing_support
