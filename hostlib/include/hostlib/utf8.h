#pragma once
// Texts are UTF-8; keystrokes and length limits count characters, not bytes.
#include <string>
#include <string_view>
#include <vector>

namespace hostlib::utf8 {

std::vector<char32_t> Decode(std::string_view text);
std::string Encode(char32_t ch);
std::string Encode(const std::vector<char32_t>& chars);
std::size_t Length(std::string_view text);
// Drops the last character (not the last byte).
std::string WithoutLast(std::string_view text);
// Upper case for ASCII and the Latin-1 letters Portuguese uses.
char32_t ToUpper(char32_t ch);

}  // namespace hostlib::utf8
