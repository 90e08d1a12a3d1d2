#pragma once
// JSON-RPC requests to a server process, written raw the way any client could write them.
#include <nlohmann/json.hpp>
#include <string>

#include "testkit/raw_http.h"

namespace testing_support {

using Json = nlohmann::json;

inline std::string Rpc(const std::string& method, const Json& params, int id = 1) {
    return RpcPost(Json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}.dump());
}

// One request on a connection of its own; the answer's JSON (discarded when it is none).
inline Json Answer(unsigned short port, const std::string& request) {
    RawHttpConnection connection(port);
    const auto response = connection.Exchange(request);
    return Json::parse(response.body, nullptr, false);
}

// Whether the server still answers a fresh connection on its RPC path.
inline bool StillServing(unsigned short port) {
    RawHttpConnection connection(port);
    return connection.Exchange("GET /rpc/VOR17000.rdmDataEmissao HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").status == 200;
}

inline Json Call(unsigned short port, const std::string& method, const Json& params) {
    return Answer(port, Rpc(method, params));
}

// The value of one line "NAME VALUE" of the metrics, 0 when the line is not there.
inline long long MetricValue(unsigned short port, const std::string& name) {
    RawHttpConnection connection(port);
    const std::string body = connection.Exchange("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").body;
    const auto at = body.find("\n" + name + " ");
    return at == std::string::npos ? 0 : std::atoll(body.c_str() + at + name.size() + 2);
}

}  // namespace testing_support
