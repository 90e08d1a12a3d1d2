#include "core/settings/host_port.h"

#include <charconv>

namespace hostlib {

std::optional<HostPort> ParseHostPort(std::string_view text, AnyPort any_port) {
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    const std::string_view port_text = text.substr(colon + 1);
    unsigned port = 0;
    const auto [end, ec] = std::from_chars(port_text.data(), port_text.data() + port_text.size(), port);
    if (ec != std::errc() || end != port_text.data() + port_text.size() || port > 65535) return std::nullopt;
    if (port == 0 && any_port == AnyPort::Refused) return std::nullopt;
    std::string_view host = text.substr(0, colon);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') return std::nullopt;
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string_view::npos) {
        return std::nullopt;  // an IPv6 address needs its brackets
    }
    return HostPort{std::string(host), static_cast<unsigned short>(port)};
}

}  // namespace hostlib
