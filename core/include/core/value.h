#pragma once
// The values a database column or a data packet holds: a null, a text or a date-time.
#include <string>
#include <variant>

#include "core/datetime.h"

namespace hostlib {

enum class TFieldType { ftString, ftDateTime };

using FieldValue = std::variant<std::monostate, std::string, TDateTime>;

}  // namespace hostlib
