#include "core/db/database_url.h"

#include <string_view>

namespace hostlib {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Whether every '%' of the text is followed by two hexadecimal digits.
bool EscapesAreWellFormed(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        if (i + 2 >= text.size() || HexDigit(text[i + 1]) < 0 || HexDigit(text[i + 2]) < 0) return false;
        i += 2;
    }
    return true;
}

// Only called on URLs whose escapes ParseDatabaseUrl found well formed.
std::string PercentDecoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

void AddKeyword(std::string& out, const std::string& key, const std::string& value) {
    if (value.empty()) return;
    if (!out.empty()) out += ' ';
    out += key + "='";
    for (char c : value) {
        if (c == '\\' || c == '\'') out += '\\';
        out += c;
    }
    out += '\'';
}

}  // namespace

std::optional<DatabaseUrl> ParseDatabaseUrl(const std::string& text) {
    DatabaseUrl url;
    url.text = text;
    if (text.rfind("sqlite:", 0) == 0) {
        url.kind = DatabaseKind::SQLite;
        url.path = text.substr(7);
        if (url.path.rfind("//", 0) == 0) url.path = url.path.substr(2);  // sqlite://PATH too
        if (url.path.empty()) return std::nullopt;
        return url;
    }
    if (text.rfind("postgresql://", 0) == 0 || text.rfind("postgres://", 0) == 0) {
        url.kind = DatabaseKind::PostgreSQL;
        if (!EscapesAreWellFormed(text)) return std::nullopt;
        return url;
    }
    return std::nullopt;
}

std::string RedactedUrlText(const std::string& text) {
    if (text.rfind("postgresql://", 0) != 0 && text.rfind("postgres://", 0) != 0) return text;
    DatabaseUrl url;
    url.kind = DatabaseKind::PostgreSQL;
    url.text = text;
    return url.Redacted();
}

std::string DatabaseUrl::Redacted() const {
    if (kind != DatabaseKind::PostgreSQL) return text;
    const auto scheme_end = text.find("://") + 3;
    const auto at = text.find('@', scheme_end);
    std::string out = text;
    if (at != std::string::npos) {
        const auto colon = text.find(':', scheme_end);
        if (colon != std::string::npos && colon < at) out = text.substr(0, colon) + ":***" + text.substr(at);
    }
    // A password may also come as a query parameter.
    const auto password = out.find("password=");
    if (password != std::string::npos) {
        const auto end = out.find('&', password);
        out = out.substr(0, password) + "password=***" + (end == std::string::npos ? "" : out.substr(end));
    }
    return out;
}

}  // namespace hostlib

namespace hostlib {

std::string DatabaseUrl::PostgresKeywords() const {
    std::string rest = text.substr(text.find("://") + 3);
    std::string query;
    if (const auto mark = rest.find('?'); mark != std::string::npos) {
        query = rest.substr(mark + 1);
        rest = rest.substr(0, mark);
    }
    std::string database;
    if (const auto slash = rest.find('/'); slash != std::string::npos) {
        database = rest.substr(slash + 1);
        rest = rest.substr(0, slash);
    }
    std::string user;
    std::string password;
    if (const auto at = rest.rfind('@'); at != std::string::npos) {
        user = rest.substr(0, at);
        rest = rest.substr(at + 1);
        if (const auto colon = user.find(':'); colon != std::string::npos) {
            password = user.substr(colon + 1);
            user = user.substr(0, colon);
        }
    }
    std::string host = rest;
    std::string port;
    if (const auto colon = rest.rfind(':'); colon != std::string::npos && rest.find(']') == std::string::npos) {
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
    }
    std::string out;
    AddKeyword(out, "host", PercentDecoded(host));
    AddKeyword(out, "port", port);
    AddKeyword(out, "dbname", PercentDecoded(database));
    AddKeyword(out, "user", PercentDecoded(user));
    AddKeyword(out, "password", PercentDecoded(password));
    std::size_t start = 0;
    while (start < query.size()) {
        auto end = query.find('&', start);
        if (end == std::string::npos) end = query.size();
        const std::string pair = query.substr(start, end - start);
        if (const auto equals = pair.find('='); equals != std::string::npos) {
            AddKeyword(out, PercentDecoded(pair.substr(0, equals)), PercentDecoded(pair.substr(equals + 1)));
        }
        start = end + 1;
    }
    return out;
}

}  // namespace hostlib
