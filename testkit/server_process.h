#pragma once
// vor17000-server (or a program that takes its command line) as a process of its own on a free
// loopback port: the tests and the benchmark start servers with it.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "testkit/raw_http.h"

namespace testing_support {

// How the server process is started, beyond its command line.
struct ProcessSettings {
    int descriptor_limit = 0;         // RLIMIT_NOFILE for the process; 0: as inherited
    bool as_unprivileged = false;     // drop to "nobody" when the tests run as root, so that file modes bind
    const char* program = nullptr;    // another server program (the benchmark's); null: vor17000-server
    const char* time_zone = nullptr;  // TZ of the process ("Asia/Tokyo"); null: as inherited
};

class ServerProcess {
public:
    // Starts the server on the database and waits until it listens; `extra` goes on its
    // command line. Fails the test (throws) when it does not come up.
    explicit ServerProcess(const std::string& database_url, const std::vector<std::string>& extra = {},
                           ProcessSettings settings = {});
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    unsigned short Port() const { return port_; }
    pid_t Pid() const { return pid_; }
    // The CPU time the process has used so far, in seconds.
    double CpuSeconds() const;
    // Sends SIGTERM (or `signal`) and waits; the exit status.
    int Stop(int signal = 15);
    bool Running() const { return pid_ > 0; }
    // Everything the server wrote to its standard error so far.
    std::string Log() const;
    // Waits (at most `wait`) until the server reports at least `connections` client
    // connections open besides the one asking, and returns how many it reported last.
    int WaitForOpenConnections(int connections, std::chrono::milliseconds wait) const;

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
ProcessResult RunServerBinary(const std::vector<std::string>& arguments, ProcessSettings settings = {});

}  // namespace testing_support
