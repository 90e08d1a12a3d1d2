#pragma once
// A server program run by the benchmark as a process of its own, on a free loopback port,
// so that its own CPU time can be read beside the work it did.
#include <sys/types.h>

#include <string>
#include <vector>

namespace bench {

class ServerChild {
public:
    // Starts `program` with `arguments` (plus --listen 127.0.0.1:0) and waits for its port.
    ServerChild(const char* program, std::vector<std::string> arguments);
    ~ServerChild();
    ServerChild(const ServerChild&) = delete;
    ServerChild& operator=(const ServerChild&) = delete;

    unsigned short Port() const { return port_; }
    pid_t Pid() const { return pid_; }
    // User and system CPU time used so far, in seconds.
    double CpuSeconds() const;

private:
    pid_t pid_ = -1;
    unsigned short port_ = 0;
    std::string log_;
};

}  // namespace bench
