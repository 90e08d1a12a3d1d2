#pragma once
// A store of a date, as the writer takes it, and how it ended.
#include <exception>
#include <string>

#include "core/datetime.h"
#include "store_checks.h"

namespace appserver {

enum class StoreTarget { NumberingControl, IssueLocation };

struct StoreRequest {
    StoreTarget target = StoreTarget::NumberingControl;
    hostlib::TDateTime date = 0;
    std::string code;
    // Who stored it, for the history: the client of the token file (empty without tokens),
    // the user the host reports, the client's address.
    std::string client;
    std::string user;
    std::string origin;
    // What the screen saw and checked, checked again in the store's transaction.
    StoreExpectation expect;
};

// How one store of an attempt ended; a refusal holds its error.
struct StoreResult {
    enum class Result { Stored, UnknownCode, Refused };
    Result result = Result::Stored;
    std::exception_ptr refusal;
};

}  // namespace appserver
