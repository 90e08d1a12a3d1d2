#pragma once
// A raw HTTP client over loopback TCP that can send anything, well formed or not; the
// tests and the benchmark use it as a client that owes nothing to the code under test.
#include <string>

namespace testing_support {

struct HttpResponse {
    int status = 0;  // 0: no answer (connection closed)
    std::string headers;
    std::string body;
    bool closed = false;  // the server closed the connection after it
};

// One TCP connection; requests go out as raw bytes.
class RawHttpConnection {
public:
    explicit RawHttpConnection(unsigned short port);
    ~RawHttpConnection();
    RawHttpConnection(const RawHttpConnection&) = delete;
    RawHttpConnection& operator=(const RawHttpConnection&) = delete;

    bool Open() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }
    // False when the server stopped taking the bytes (closed or reset the connection).
    bool Send(const std::string& bytes);
    // Reads one response (by Content-Length), waiting at most `timeout_ms`.
    HttpResponse Receive(int timeout_ms = 5000);
    HttpResponse Exchange(const std::string& bytes, int timeout_ms = 5000) {
        Send(bytes);
        return Receive(timeout_ms);
    }

private:
    int fd_ = -1;
    std::string pending_;
};

// A POST of `body` to the module's path, as keep-alive HTTP/1.1.
std::string RpcPost(const std::string& body, const std::string& path = "/rpc/VOR17000.rdmDataEmissao");

}  // namespace testing_support
