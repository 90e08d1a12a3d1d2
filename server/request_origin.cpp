#include "request_origin.h"

#include <boost/asio/ip/address.hpp>
#include <string>

#include "core/ascii_text.h"

namespace appserver {

namespace {

using hostlib::EqualsIgnoringCase;
using hostlib::TrimmedBlanks;

// The host part of "host[:port]" or "[v6]:port", without brackets.
std::string_view HostPart(std::string_view authority) {
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        return close == std::string_view::npos ? std::string_view{} : authority.substr(1, close - 1);
    }
    const auto colon = authority.find(':');
    return colon == std::string_view::npos ? authority : authority.substr(0, colon);
}

}  // namespace

bool IsJsonContentType(std::string_view content_type) {
    const std::string_view type = TrimmedBlanks(content_type.substr(0, content_type.find(';')));
    return EqualsIgnoringCase(type, "application/json");
}

bool IsLoopbackHost(std::string_view host) {
    const std::string_view name = HostPart(TrimmedBlanks(host));
    if (EqualsIgnoringCase(name, "localhost")) return true;
    boost::system::error_code ec;
    const auto address = boost::asio::ip::make_address(std::string(name), ec);
    return !ec && address.is_loopback();
}

bool IsSameOrigin(std::string_view origin, std::string_view host) {
    origin = TrimmedBlanks(origin);
    const auto scheme_end = origin.find("://");
    if (scheme_end == std::string_view::npos) return false;  // "null" and the like: no origin to trust
    std::string_view authority = origin.substr(scheme_end + 3);
    if (const auto path = authority.find('/'); path != std::string_view::npos) authority = authority.substr(0, path);
    return !authority.empty() && EqualsIgnoringCase(authority, TrimmedBlanks(host));
}

}  // namespace appserver
