#pragma once
// One HTTP/1.1 request read from a connection's bytes: the request line, the few header
// fields the server acts on, and the body. It keeps no table of fields, and its strings keep
// their capacity from one request of a connection to the next.
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/basic_parser.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/field.hpp>
#include <boost/beast/http/verb.hpp>
#include <string>

namespace appserver {

namespace http = boost::beast::http;

// What was read of one request.
struct HttpRequest {
    http::verb method = http::verb::unknown;
    int version = 11;
    std::string target;
    std::string authorization;
    std::string user;  // "X-Vor17000-Usuario": who the client says is at the keyboard
    bool has_user = false;
    std::string forwarded_for;  // "X-Forwarded-For", as a proxy in front writes it
    std::string host;           // "Host"
    std::string origin;         // "Origin": a browser says which page sent the request
    bool has_origin = false;
    std::string content_type;
    std::string body;
    void Clear() {
        method = http::verb::unknown;
        version = 11;
        target.clear();
        authorization.clear();
        user.clear();
        has_user = false;
        forwarded_for.clear();
        host.clear();
        origin.clear();
        has_origin = false;
        content_type.clear();
        body.clear();
    }
};

// A field the server refuses outright: anything but "chunked" as a transfer coding would
// leave the body's end to guesswork (and the rest of the stream to a smuggled request).
inline const boost::system::error_code kRefusedTransferEncoding = boost::beast::http::error::bad_transfer_encoding;

class HttpRequestParser : public http::basic_parser<true> {
public:
    explicit HttpRequestParser(HttpRequest& request) : request_(request) { request_.Clear(); }

private:
    void on_request_impl(http::verb method, boost::beast::string_view, boost::beast::string_view target, int version,
                         boost::system::error_code&) override {
        request_.method = method;
        request_.version = version;
        request_.target.assign(target.data(), target.size());
    }
    void on_response_impl(int, boost::beast::string_view, int, boost::system::error_code&) override {}
    void on_field_impl(http::field name, boost::beast::string_view name_text, boost::beast::string_view value,
                       boost::system::error_code& ec) override {
        if (name == http::field::authorization) {
            request_.authorization.assign(value.data(), value.size());
        } else if (name == http::field::host) {
            request_.host.assign(value.data(), value.size());
        } else if (name == http::field::origin) {
            request_.origin.assign(value.data(), value.size());
            request_.has_origin = true;
        } else if (name == http::field::content_type) {
            request_.content_type.assign(value.data(), value.size());
        } else if (name == http::field::transfer_encoding) {
            if (!IsChunkedOnly(value)) ec = kRefusedTransferEncoding;
        } else if (name == http::field::unknown && boost::beast::iequals(name_text, "X-Vor17000-Usuario")) {
            request_.user.assign(value.data(), value.size());
            request_.has_user = true;
        } else if (boost::beast::iequals(name_text, "X-Forwarded-For")) {
            // Several headers read as one list.
            if (!request_.forwarded_for.empty()) request_.forwarded_for += ',';
            request_.forwarded_for.append(value.data(), value.size());
        }
    }
    void on_header_impl(boost::system::error_code&) override {}
    void on_body_init_impl(const boost::optional<std::uint64_t>& length, boost::system::error_code&) override {
        if (length) request_.body.reserve(static_cast<std::size_t>(*length));
    }
    std::size_t on_body_impl(boost::beast::string_view body, boost::system::error_code&) override {
        request_.body.append(body.data(), body.size());
        return body.size();
    }
    void on_chunk_header_impl(std::uint64_t, boost::beast::string_view, boost::system::error_code&) override {}
    std::size_t on_chunk_body_impl(std::uint64_t, boost::beast::string_view body, boost::system::error_code&) override {
        request_.body.append(body.data(), body.size());
        return body.size();
    }
    void on_finish_impl(boost::system::error_code&) override {}

    static bool IsChunkedOnly(boost::beast::string_view value) {
        std::size_t first = 0;
        std::size_t last = value.size();
        while (first < last && (value[first] == ' ' || value[first] == '\t')) ++first;
        while (last > first && (value[last - 1] == ' ' || value[last - 1] == '\t')) --last;
        return boost::beast::iequals(value.substr(first, last - first), "chunked");
    }

    HttpRequest& request_;
};

}  // namespace appserver
