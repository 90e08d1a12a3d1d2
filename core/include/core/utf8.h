#pragma once
// Texts are UTF-8; keystrokes and length limits count characters, not bytes.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hostlib::utf8 {

// Malformed bytes decode as U+FFFD, one per byte, so a character count never goes wrong.
std::vector<char32_t> Decode(std::string_view text);
std::string Encode(char32_t ch);
std::string Encode(const std::vector<char32_t>& chars);
std::size_t Length(std::string_view text);
// The text cut after its first `characters` characters (malformed bytes as U+FFFD).
std::string Truncated(std::string_view text, std::size_t characters);
// Drops the last character (not the last byte) in place: a backspace costs that character's
// bytes, not the whole text's.
void DropLast(std::string& text);
// Upper case for ASCII and the Latin-1 letters Portuguese uses.
char32_t ToUpper(char32_t ch);

// Well-formed UTF-8: no stray continuation, no overlong form, no surrogate, nothing past
// U+10FFFF.
bool IsValid(std::string_view text);
// Every byte as a Windows-1252 character (the code page of older Portuguese systems).
std::string FromWindows1252(std::string_view bytes);
// The text itself when it is UTF-8; otherwise its bytes read as Windows-1252.
std::string ValidOrWindows1252(std::string text);
// The Windows-1252 bytes of a UTF-8 text that has characters beyond ASCII, all of which that
// code page holds; nothing otherwise (the text would be the same, or cannot be written so).
std::optional<std::string> Windows1252Form(std::string_view text);

}  // namespace hostlib::utf8
