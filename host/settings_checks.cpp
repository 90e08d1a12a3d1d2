#include "settings_checks.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "core/datetime.h"
#include "core/db/database_url.h"
#include "core/settings/host_port.h"
#include "core/settings/token_file.h"

namespace host {

namespace {

// A regular file this process can open for reading.
std::optional<std::string> CheckReadableFile(std::string_view path) {
    const std::filesystem::path file{std::string(path)};
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return "O arquivo '" + file.string() + "' não existe.";
    if (!std::filesystem::is_regular_file(file, ec)) return "'" + file.string() + "' não é um arquivo.";
    if (!std::ifstream(file)) return "Não há permissão para ler '" + file.string() + "'.";
    return std::nullopt;
}

}  // namespace

std::optional<std::string> CheckServer(std::string_view text) {
    if (text.empty() || text == "embedded") return std::nullopt;
    if (hostlib::ParseHostPort(text, hostlib::AnyPort::Refused)) return std::nullopt;
    return "Use 'embedded' ou HOST:PORTA (por exemplo servidor.local:8217).";
}

std::optional<std::string> CheckDatabaseUrl(std::string_view text) {
    if (text.empty()) return std::nullopt;
    const auto url = hostlib::ParseDatabaseUrl(std::string(text));
    if (!url) return "Use sqlite:ARQUIVO ou postgresql://usuario@host:porta/banco.";
    if (url->kind == hostlib::DatabaseKind::SQLite) {
        std::error_code ec;
        if (!std::filesystem::exists(url->path, ec)) return "O arquivo de banco de dados '" + url->path + "' não existe.";
    }
    return std::nullopt;
}

std::optional<std::string> CheckProcessingDate(std::string_view text) {
    if (text.empty() || hostlib::TryStrToDate(std::string(text))) return std::nullopt;
    return "Use uma data que exista, no formato dd/mm/aaaa.";
}

std::optional<std::string> CheckTokenFile(std::string_view path) {
    if (path.empty()) return std::nullopt;
    try {
        ReadHostToken(std::string(path));
    } catch (const std::exception& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

std::optional<std::string> CheckTlsCaFile(std::string_view path) {
    if (path.empty()) return std::nullopt;
    return CheckReadableFile(path);
}

std::string ReadHostToken(const std::string& path) {
    if (const auto unreadable = CheckReadableFile(path)) throw std::runtime_error(*unreadable);
    const auto entries = hostlib::ReadTokenFile(path);
    // A desk holds its own secret only: a copy of the server's file would hand out everyone's.
    if (entries.size() != 1) throw std::runtime_error("O arquivo " + path + " deve ter um só segredo.");
    return entries.front().token;
}

}  // namespace host
