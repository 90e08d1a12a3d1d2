#pragma once
// "HOST:PORT", as both the server (where to listen) and the hosts (which server) take it.
#include <optional>
#include <string>
#include <string_view>

namespace hostlib {

struct HostPort {
    std::string host;  // an IPv6 address without its brackets
    unsigned short port = 0;
};

// Port 0 means "any free port" to a server and nothing at all to a client.
enum class AnyPort { Allowed, Refused };

// "127.0.0.1:8217", "[::1]:8217", "servidor.local:8217"; nothing when it is none of these.
std::optional<HostPort> ParseHostPort(std::string_view text, AnyPort any_port);

}  // namespace hostlib
