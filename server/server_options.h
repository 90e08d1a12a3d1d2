#pragma once
// The server's command line.
#include <optional>
#include <string>
#include <vector>

#include "app_server.h"

namespace appserver {

struct ServerCommandLine {
    ServerOptions options;
    // --demo-data: a database without companies gets the demo data (made when missing).
    bool demo_data = false;
    // --create: an SQLite file that is not there is made, with the schema.
    bool create = false;
    // --insecure-open: listening beyond loopback without a token is what the user wants.
    bool insecure_open = false;
    // --check-dates: print each numbering control beside its latest invoice, and end.
    bool check_dates = false;
    // --check-token-file FILE: read the token file, say whether it is good, and end (what a
    // reload checks before it asks the server to read it).
    std::string check_token_file;
};

struct ParsedServerOptions {
    std::optional<ServerCommandLine> command_line;
    std::string error;  // set when the line could not be understood or is unsafe
    bool help = false;
    std::vector<std::string> warnings;
};

// `environment_token` is $VOR17000_TOKEN (null when unset).
ParsedServerOptions ParseServerOptions(const std::vector<std::string>& arguments, const char* environment_token);
const char* ServerUsage();

}  // namespace appserver
