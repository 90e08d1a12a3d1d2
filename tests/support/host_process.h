#pragma once
// A headless host as a process of its own, driven one command at a time: two of them are two
// clerks at two desks, each with its own screen, on one server.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

namespace testing_support {

class HostProcess {
public:
    // `arguments` follow "--headless"; the demo database, if any, goes to `data_home`.
    HostProcess(const std::string& program, const std::vector<std::string>& arguments, const std::string& data_home) {
        int to_host[2];
        int from_host[2];
        // Close-on-exec, so a second desk does not hold this one's input open.
        if (::pipe2(to_host, O_CLOEXEC) != 0 || ::pipe2(from_host, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(to_host[0], 0);
            ::dup2(from_host[1], 1);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 2);
            ::close(to_host[1]);
            ::close(from_host[0]);
            ::setenv("XDG_DATA_HOME", data_home.c_str(), 1);
            std::vector<std::string> copies = arguments;
            std::vector<char*> argv{const_cast<char*>(program.c_str()), const_cast<char*>("--headless")};
            for (auto& a : copies) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(to_host[0]);
        ::close(from_host[1]);
        in_ = to_host[1];
        out_ = from_host[0];
    }
    ~HostProcess() {
        ::close(in_);
        int status = 0;
        // Its input ended: the host closes its screen and ends; one that does not is stopped.
        for (int i = 0; i < 100 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) ::usleep(20000);
        if (::waitpid(pid_, &status, WNOHANG) == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
        ::close(out_);
    }
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    // Commands that print nothing.
    void Send(const std::string& commands) {
        const std::string text = commands + "\n";
        for (std::size_t at = 0; at < text.size();) {
            const auto n = ::write(in_, text.data() + at, text.size() - at);
            if (n <= 0) throw std::runtime_error("the host stopped reading");
            at += static_cast<std::size_t>(n);
        }
    }
    // A command that prints one line, and that line.
    nlohmann::json Ask(const std::string& command) {
        Send(command);
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        char c = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd ready{out_, POLLIN, 0};
            if (::poll(&ready, 1, 100) <= 0) continue;
            if (::read(out_, &c, 1) != 1) break;
            if (c == '\n') return nlohmann::json::parse(line);
            line += c;
        }
        throw std::runtime_error("no answer to " + command + ": " + line);
    }

private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
};

}  // namespace testing_support
