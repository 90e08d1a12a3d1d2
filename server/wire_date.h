#pragma once
// Dates as the wire carries them: "YYYY-MM-DDTHH:MM:SS", or with milliseconds
// "YYYY-MM-DDTHH:MM:SS.mmm". Any other form is refused rather than taken for a date the
// client may not have meant.
#include <optional>
#include <string_view>

#include "core/datetime.h"

namespace appserver {

std::optional<hostlib::TDateTime> ReadWireDate(std::string_view text);

}  // namespace appserver
