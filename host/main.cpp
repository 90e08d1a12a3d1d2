// vor17000-host: the host application: a desktop window, or with --headless commands on
// standard input.
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "desktop/run_desktop.h"
#include "headless/headless_session.h"
#include "host_options.h"

namespace {

int RunHeadless(const host::HostOptions& options) {
    try {
        host::HeadlessSession session(options);
        std::string line;
        while (std::getline(std::cin, line)) session.Execute(line, std::cout);
        session.Finish();
    } catch (const host::HostStartError& e) {
        host::Json error{{"error", e.what()}};
        if (!e.Details().empty()) error["details"] = e.Details();
        std::cout << error.dump(-1, ' ', false, host::Json::error_handler_t::replace) << std::endl;
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // The embedded server logs to standard error: a reader that went away must not end the host.
    std::signal(SIGPIPE, SIG_IGN);
    const auto parsed = host::ParseHostOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.help) {
        std::cout << host::HostUsage();
        return 0;
    }
    if (!parsed.options) {
        std::cerr << "vor17000-host: " << parsed.error << '\n' << host::HostUsage();
        return 2;
    }
    if (parsed.options->mode == host::HostMode::Headless) return RunHeadless(*parsed.options);
    if (!parsed.options->screenshot.empty()) {
        return host::desktop::SaveScreenshot(argc, argv, *parsed.options, parsed.options->screenshot);
    }
    return host::desktop::RunDesktop(argc, argv, *parsed.options);
}
