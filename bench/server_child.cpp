#include "server_child.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace bench {

namespace {

std::string ReadFile(const std::string& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

ServerChild::ServerChild(const char* program, std::vector<std::string> arguments) {
    static int counter = 0;
    log_ = (std::filesystem::temp_directory_path() /
            ("vor17000_bench_server_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + ".log"))
               .string();
    arguments.push_back("--listen");
    arguments.push_back("127.0.0.1:0");
    pid_ = ::fork();
    if (pid_ == 0) {
        const int out = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(out, 2);
        std::vector<char*> argv;
        std::string name = program;
        argv.push_back(name.data());
        for (auto& a : arguments) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(program, argv.data());
        ::_exit(127);
    }
    for (int i = 0; i < 500 && port_ == 0; ++i) {
        const std::string text = ReadFile(log_);
        const auto at = text.find("em 127.0.0.1:");
        if (at != std::string::npos && text.find('\n', at) != std::string::npos) {
            port_ = static_cast<unsigned short>(std::stoi(text.substr(at + 13)));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    if (port_ == 0) throw std::runtime_error("the server did not start: " + ReadFile(log_));
}

ServerChild::~ServerChild() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    std::filesystem::remove(log_);
}

double ServerChild::CpuSeconds() const {
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    std::string text;
    std::getline(stat, text);
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 1; i <= 13 && rest >> field; ++i) {
        if (i == 12 || i == 13) ticks += std::stod(field);
    }
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

}  // namespace bench
