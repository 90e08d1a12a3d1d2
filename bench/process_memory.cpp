#include "process_memory.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "testkit/raw_http.h"
#include "testkit/server_process.h"

namespace bench {

namespace {

// VmHWM of a process, in kB.
long PeakResidentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

std::string Megabytes(long kb) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f MB", static_cast<double>(kb) / 1024.0);
    return buffer;
}

struct Child {
    pid_t pid = -1;
    int stdin_fd = -1;
};

Child Spawn(const char* program, std::vector<std::string> arguments, const std::string& output) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipe_fds[0], 0);
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::close(pipe_fds[1]);
        std::vector<char*> argv;
        std::string name = program;
        argv.push_back(name.data());
        for (auto& a : arguments) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(program, argv.data());
        ::_exit(127);
    }
    ::close(pipe_fds[0]);
    return {pid, pipe_fds[1]};
}

std::string ReadFile(const std::string& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

void MeasureMemory(const BenchDatabase& database, int idle_connections, std::vector<Row>& rows) {
    const std::string log =
        (std::filesystem::temp_directory_path() / ("vor17000_bench_host_" + std::to_string(::getpid()) + ".log"))
            .string();

    // The headless host with the screen open.
    Child host_process = Spawn(HOST_EXE, {"--headless", "--db", database.url}, log);
    const std::string commands =
        "set EmprProc 01\nset IEstProc 110042490114\nset IMunProc 4587123\nopen\ntype 1\ntab\nstate\n";
    [[maybe_unused]] auto written = ::write(host_process.stdin_fd, commands.data(), commands.size());
    for (int i = 0; i < 100 && ReadFile(log).find("\"open\":true") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const long host_kb = PeakResidentKb(host_process.pid);
    ::close(host_process.stdin_fd);
    ::waitpid(host_process.pid, nullptr, 0);
    rows.push_back(
        {"peak memory, headless host with the screen open", database.name, Megabytes(host_kb), "target 40 MB", ""});

    // The server with a thousand idle keep-alive connections, read once it holds them all.
    long server_kb = 0;
    {
        testing_support::ServerProcess server(database.url, {"--quiet"});
        std::vector<std::unique_ptr<testing_support::RawHttpConnection>> idle;
        for (int i = 0; i < idle_connections; ++i) {
            idle.push_back(std::make_unique<testing_support::RawHttpConnection>(server.Port()));
        }
        server.WaitForOpenConnections(idle_connections, std::chrono::seconds(5));
        server_kb = PeakResidentKb(server.Pid());
    }
    rows.push_back({"peak memory, server with " + std::to_string(idle_connections) + " idle connections", database.name,
                    Megabytes(server_kb), "target 100 MB", ""});
    std::filesystem::remove(log);
}

}  // namespace bench
