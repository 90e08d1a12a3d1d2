#pragma once
// An HTTP/1.1 answer written as bytes into a connection's reused buffer: one buffer, one
// write.
#include <string>
#include <string_view>

namespace appserver {

enum class ConnectionAfter { KeepAlive, Close };

struct HttpAnswer {
    int status = 200;
    std::string_view body;
    ConnectionAfter after = ConnectionAfter::KeepAlive;
    bool head = false;                 // the request was HEAD: no body goes out
    bool ask_for_credentials = false;  // 401: "WWW-Authenticate: Bearer"
    bool allow = false;                // 405: "Allow: GET, POST"
    const char* content_type = "application/json; charset=utf-8";
    bool http10_keep_alive = false;  // an HTTP/1.0 client asked to keep the connection
};

// Replaces `out` with the answer's bytes.
void WriteHttpAnswer(const HttpAnswer& answer, std::string& out);

// {"error": "<text>"}, the body of an HTTP-level refusal.
std::string ErrorBody(std::string_view text);

}  // namespace appserver
