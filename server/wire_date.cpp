#include "wire_date.h"

namespace appserver {

std::optional<hostlib::TDateTime> ReadWireDate(std::string_view text) {
    constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:dd.ddd";
    if (text.size() != 19 && text.size() != kShape.size()) return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool fits = kShape[i] == 'd' ? text[i] >= '0' && text[i] <= '9' : text[i] == kShape[i];
        if (!fits) return std::nullopt;
    }
    // The shape is right; the calendar and the clock decide the rest (no 30 February, no 24:00).
    return hostlib::TryIsoToDateTime(text);
}

}  // namespace appserver
