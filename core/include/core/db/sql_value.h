#pragma once
// The one conversion between database values and ours. Dates are written as
// "YYYY-MM-DD HH:MM:SS" and read from text (with a blank or a "T") or from a broken-down
// time, keeping the time of day, whatever the driver hands back.
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "core/db/database_error.h"
#include "core/value.h"

namespace soci {
class row;
}

namespace hostlib {

std::string ToSqlDateTime(TDateTime value);
// A date as other programs write it into a database: date only, minutes only, "T" or a
// blank, any fraction, a zone for `timestamptz` (turned into local time).
std::optional<TDateTime> ReadDatabaseDateTime(std::string_view text);
// Column `index` of `row` as a value of type `type`; raises EDatabaseError (BadData)
// naming the column when it does not convert.
FieldValue ReadColumn(const soci::row& row, std::size_t index, TFieldType type);
// The natural field type of a column.
TFieldType ColumnFieldType(const soci::row& row, std::size_t index);

// Turns a driver error into an EDatabaseError of the right category, keeping its message.
[[noreturn]] void RethrowAsDatabaseError(std::exception_ptr error);

}  // namespace hostlib
