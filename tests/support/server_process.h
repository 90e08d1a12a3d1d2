#pragma once
// vor17000-server as a process of its own on a free loopback port, and a raw HTTP client
// that can send anything, well formed or not.
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

class ServerProcess {
public:
    // Starts the server on the database and waits until it listens; `extra` goes on its
    // command line. Fails the test (throws) when it does not come up.
    explicit ServerProcess(const std::string& database_url, const std::vector<std::string>& extra = {});
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    unsigned short Port() const { return port_; }
    // Sends SIGTERM (or `signal`) and waits; the exit status.
    int Stop(int signal = 15);
    bool Running() const { return pid_ > 0; }
    // Everything the server wrote to its standard error so far.
    std::string Log() const;

private:
    pid_t pid_ = -1;
    unsigned short port_ = 0;
    std::filesystem::path log_file_;
};

// Runs the server binary with `arguments` and waits for it to end: exit code and output.
struct ProcessResult {
    int exit_code = -1;
    std::string output;
};
ProcessResult RunServerBinary(const std::vector<std::string>& arguments);

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
    void Send(const std::string& bytes);
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
