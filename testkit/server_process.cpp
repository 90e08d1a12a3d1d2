#include "testkit/server_process.h"

#include "testkit/eventually.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <thread>

namespace testing_support {

namespace {

std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// This process's environment, with TZ as the settings say; made before the fork, as the child
// may only call what is safe between fork and exec.
std::vector<std::string> ChildEnvironment(const ProcessSettings& settings) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (settings.time_zone != nullptr && std::string_view(*entry).rfind("TZ=", 0) == 0) continue;
        environment.emplace_back(*entry);
    }
    if (settings.time_zone != nullptr) environment.push_back(std::string("TZ=") + settings.time_zone);
    return environment;
}

pid_t Spawn(const std::vector<std::string>& arguments, const std::filesystem::path& output,
            const ProcessSettings& settings) {
    std::vector<std::string> environment = ChildEnvironment(settings);
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string program = settings.program != nullptr ? settings.program : SERVER_EXE;
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv;
    argv.push_back(program.data());
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        if (settings.descriptor_limit > 0) {
            const rlimit files{static_cast<rlim_t>(settings.descriptor_limit),
                               static_cast<rlim_t>(settings.descriptor_limit)};
            ::setrlimit(RLIMIT_NOFILE, &files);
        }
        if (settings.as_unprivileged && ::geteuid() == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(126);
        }
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    return pid;
}

std::filesystem::path TempLog() {
    static int counter = 0;
    return std::filesystem::temp_directory_path() /
           ("vor17000_server_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + ".log");
}

}  // namespace

ServerProcess::ServerProcess(const std::string& database_url, const std::vector<std::string>& extra,
                             ProcessSettings settings)
    : log_file_(TempLog()) {
    std::vector<std::string> arguments = {"--db", database_url, "--listen", "127.0.0.1:0"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    pid_ = Spawn(arguments, log_file_, settings);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string log = ReadFile(log_file_);
        const auto at = log.find("em 127.0.0.1:");
        if (at != std::string::npos && log.find('\n', at) != std::string::npos) {
            port_ = static_cast<unsigned short>(std::stoi(log.substr(at + 13)));
            return;
        }
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("server exited at start: " + log);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Stop(SIGKILL);
    throw std::runtime_error("server did not start: " + ReadFile(log_file_));
}

ServerProcess::~ServerProcess() {
    Stop(SIGKILL);
    std::error_code ec;
    std::filesystem::remove(log_file_, ec);
}

int ServerProcess::Stop(int signal) {
    if (pid_ <= 0) return -1;
    ::kill(pid_, signal);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ServerProcess::Log() const { return ReadFile(log_file_); }

int ServerProcess::WaitForOpenConnections(int connections, std::chrono::milliseconds wait) const {
    RawHttpConnection probe(port_);
    const std::string gauge = "\nvor17000_open_connections ";
    int others = -1;
    Eventually(wait, [&] {
        const auto metrics = probe.Exchange("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 10000);
        const auto at = metrics.body.find(gauge);
        if (at != std::string::npos) others = std::atoi(metrics.body.c_str() + at + gauge.size()) - 1;
        return others >= connections;
    });
    return others;
}

double ServerProcess::CpuSeconds() const {
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    std::string text;
    std::getline(stat, text);
    // Fields after the command's closing parenthesis: utime and stime are the 12th and 13th.
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 1; i <= 13 && rest >> field; ++i) {
        if (i == 12 || i == 13) ticks += std::stod(field);
    }
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

ProcessResult RunServerBinary(const std::vector<std::string>& arguments, ProcessSettings settings) {
    const auto output = TempLog();
    const pid_t pid = Spawn(arguments, output, settings);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ProcessResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(output)};
    std::filesystem::remove(output);
    return result;
}

}  // namespace testing_support
