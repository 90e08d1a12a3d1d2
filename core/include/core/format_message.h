#pragma once
// Texts with "%s" placeholders, as message tables and server answers write them.
#include <string>
#include <string_view>
#include <vector>

namespace hostlib {

// Replaces each "%s" in `text`, in order, by the next argument.
std::string FormatMessage(std::string_view text, const std::vector<std::string>& arguments);

}  // namespace hostlib
