#pragma once
// The token file the server and the hosts read: lines "NAME TOKEN [ROLE]", or one bare
// token; blank lines and lines starting with "#" skipped; lines may end in CRLF.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hostlib {

enum class TokenRole { Writer, Reader };  // "escrita" (the default), "leitura"

struct TokenEntry {
    std::string name;  // "padrao" for a bare token
    std::string token;
    TokenRole role = TokenRole::Writer;
};

// Raises std::runtime_error saying which line is wrong.
std::vector<TokenEntry> ParseTokenText(std::string_view text);
std::vector<TokenEntry> ReadTokenFile(const std::string& path);
// $VOR17000_TOKEN, trimmed; nothing when unset or empty.
std::optional<std::string> TokenFromEnvironment();

}  // namespace hostlib
