#include "http_response.h"

#include "json_text.h"

namespace appserver {

namespace {

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 204:
            return "No Content";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 413:
            return "Payload Too Large";
        case 431:
            return "Request Header Fields Too Large";
        case 503:
            return "Service Unavailable";
        default:
            return "Error";
    }
}

}  // namespace

void WriteHttpAnswer(const HttpAnswer& answer, std::string& out) {
    out.clear();
    out += "HTTP/1.1 ";
    out += std::to_string(answer.status);
    out += ' ';
    out += Reason(answer.status);
    out += "\r\nServer: vor17000-server\r\n";
    if (answer.after == ConnectionAfter::Close) {
        out += "Connection: close\r\n";
    } else if (answer.http10_keep_alive) {
        out += "Connection: keep-alive\r\n";
    }
    if (answer.ask_for_credentials) out += "WWW-Authenticate: Bearer\r\n";
    if (answer.allow) out += "Allow: GET, POST\r\n";
    const bool with_body = !answer.head && !answer.body.empty();
    if (with_body) {
        out += "Content-Type: ";
        out += answer.content_type;
        out += "\r\n";
    }
    if (answer.status != 204) {
        out += "Content-Length: ";
        out += std::to_string(with_body ? answer.body.size() : 0);
        out += "\r\n";
    }
    out += "\r\n";
    if (with_body) out += answer.body;
}

std::string ErrorBody(std::string_view text) {
    std::string body = "{\"error\":";
    AppendJsonString(body, text);
    return body + "}";
}

}  // namespace appserver
