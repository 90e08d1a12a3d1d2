// vor17000-bench-server: the application server as the benchmark runs it, in a process of its
// own so that its CPU time can be read: the server's command line, plus a cap on the stores one
// commit takes (--largest-group 1 measures one commit per store).
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "app_server.h"
#include "server_options.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments;
    std::size_t largest_group = 256;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--largest-group" && i + 1 < argc) {
            largest_group = static_cast<std::size_t>(std::atoi(argv[++i]));
        } else {
            arguments.push_back(arg);
        }
    }
    const auto parsed = appserver::ParseServerOptions(arguments, nullptr);
    if (!parsed.command_line) {
        std::cerr << "vor17000-bench-server: " << parsed.error << "\n";
        return 2;
    }
    appserver::ServerOptions options = parsed.command_line->options;
    options.largest_store_group = largest_group;
    try {
        appserver::AppServer server(options);
        server.Start();
        std::cerr << "vor17000-bench-server: servindo em 127.0.0.1:" << server.Port() << std::endl;
        server.RunUntilSignalled();
    } catch (const std::exception& e) {
        std::cerr << "vor17000-bench-server: " << e.what() << std::endl;
        return 1;
    }
    return 0;
}
