#pragma once
// An argument of a remote call: a text, a date (sent as local ISO date-time), or an object of
// named values (null, a Boolean, a text or a date each).
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/datetime.h"

namespace hostlib {

struct RemoteNull {
    bool operator==(const RemoteNull&) const = default;
};
using RemoteValue = std::variant<RemoteNull, bool, std::string, TDateTime>;
// Members in the order they are written.
using RemoteObject = std::vector<std::pair<std::string, RemoteValue>>;
using RemoteArgument = std::variant<std::string, TDateTime, RemoteObject>;

}  // namespace hostlib
