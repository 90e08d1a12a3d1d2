#pragma once
// Failures turned into JSON-RPC error codes and texts a user can read. Driver text, SQL and
// paths stay on the server side (its log); the client gets a category's sentence.
#include <exception>
#include <optional>
#include <string>

#include "core/exceptions.h"
#include "server_metrics.h"

namespace appserver {

enum RpcErrorCode : int {
    kParseError = -32700,
    kInvalidRequest = -32600,
    kMethodNotFound = -32601,
    kInvalidParams = -32602,
    kInternalError = -32603,
    kApplicationError = -32000,
};

// A failure the user should read, answered as an application error.
class EApplicationError : public hostlib::Exception {
    using hostlib::Exception::Exception;
};

// The database file is no longer the one the server opened.
class EDatabaseFileGone : public hostlib::Exception {
    using hostlib::Exception::Exception;
};

// An answer would pass the server's limit on the size of answers.
class EAnswerTooLarge : public hostlib::Exception {
    using hostlib::Exception::Exception;
};

struct RpcError {
    int code;
    std::string message;
    std::string data = {};  // the error's "data" as JSON text; empty: none
};

inline const char* const kInternalErrorText = "Erro interno do servidor de aplicação.";

// The kind of database failure, when it is one.
std::optional<DatabaseFailure> DatabaseFailureOf(std::exception_ptr failure);

// The error object for a failure; `log_cause` is set to what the server should log about it
// (empty when nothing needs telling, such as a busy database or a code not registered).
RpcError ToRpcError(std::exception_ptr failure, std::string& log_cause);

}  // namespace appserver
