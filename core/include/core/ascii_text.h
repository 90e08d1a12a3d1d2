#pragma once
// Rules for the ASCII parts of texts (protocol words, codes, component names): one place for
// comparing without case and for trimming blanks.
#include <string_view>

namespace hostlib {

// Equal when only the case of ASCII letters differs ("Bearer", "bearer").
inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The blanks each kind of text may carry around what it says.
inline constexpr std::string_view kSpaces = " ";             // fixed-width database columns
inline constexpr std::string_view kLineBlanks = " \t\r";     // lines of files and commands
inline constexpr std::string_view kWhiteSpace = " \t\r\n\f\v";

// Whether `text` holds nothing but `blanks`.
inline bool IsBlank(std::string_view text, std::string_view blanks = kSpaces) {
    return text.find_first_not_of(blanks) == std::string_view::npos;
}

// `text` without the `blanks` at either end.
inline std::string_view TrimmedBlanks(std::string_view text, std::string_view blanks = " \t") {
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace hostlib
