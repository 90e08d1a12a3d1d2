#pragma once
// JSON-RPC 2.0 over the remote data module: parsing, checking and dispatching a request
// body, and turning every failure into the right error object. No network here.
#include <optional>
#include <string>
#include <string_view>

#include "data_emissao_module.h"

namespace appserver {

enum RpcErrorCode : int {
    kParseError = -32700,
    kInvalidRequest = -32600,
    kMethodNotFound = -32601,
    kInvalidParams = -32602,
    kInternalError = -32603,
    kApplicationError = -32000,
};

// What the request log tells of one request.
struct RpcSummary {
    std::string method = "-";
    std::string outcome = "ok";
};

// The module's methods, as answered to GET /rpc/<module>.
const char* const* RpcMethodNames(std::size_t& count);

// "Ping", a method that does nothing, measures what the HTTP and JSON-RPC layers cost by
// themselves; only a benchmark turns it on.
enum class FloorMethod { Off, On };

// The response body for a POST body, or nothing when it held only notifications.
std::optional<std::string> HandleRpcBody(std::string_view body, DataEmissaoModule& module, RpcSummary& summary,
                                         FloorMethod floor = FloorMethod::Off);

}  // namespace appserver
