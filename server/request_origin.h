#pragma once
// What a web page in a browser could make a browser send to the server: a cross-site form
// POST (no preflight for "text/plain"), or a page whose name was rebound to the loopback
// address. The server's own clients send JSON, name the server as they reached it, and send no
// "Origin" at all.
#include <string_view>

namespace appserver {

// "application/json", with any parameters ("; charset=utf-8"), in any case.
bool IsJsonContentType(std::string_view content_type);
// A "Host" that names the loopback interface: "localhost", 127.0.0.0/8 or ::1, with or
// without a port.
bool IsLoopbackHost(std::string_view host);
// An "Origin" ("scheme://host[:port]") naming the same host and port as the "Host" field.
bool IsSameOrigin(std::string_view origin, std::string_view host);

}  // namespace appserver
