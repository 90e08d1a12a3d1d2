#pragma once
// An argument of a remote call: a text, or a date (sent as local ISO date-time).
#include <string>
#include <variant>

#include "hostlib/datetime.h"

namespace hostlib {

using RemoteArgument = std::variant<std::string, TDateTime>;

}  // namespace hostlib
