#include "core/settings/token_file.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/ascii_text.h"
#include "core/login_name.h"

namespace hostlib {

namespace {

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size()) {
        const auto start = line.find_first_not_of(" \t", at);
        if (start == std::string_view::npos) break;
        const auto end = line.find_first_of(" \t", start);
        words.push_back(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        at = end == std::string_view::npos ? line.size() : end;
    }
    return words;
}

}  // namespace

std::vector<TokenEntry> ParseTokenText(std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start <= text.size();) {
        const auto end = text.find('\n', start);
        lines.push_back(
            TrimmedBlanks(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start), kLineBlanks));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    std::size_t meaningful = 0;
    for (const auto line : lines) meaningful += !line.empty() && line.front() != '#' ? 1 : 0;
    std::vector<TokenEntry> entries;
    for (std::size_t number = 1; number <= lines.size(); ++number) {
        const auto line = lines[number - 1];
        if (line.empty() || line.front() == '#') continue;
        const auto words = Words(line);
        const std::string where = "linha " + std::to_string(number) + " do arquivo de segredos";
        if (words.size() == 1) {
            // A file of one bare token, as before there were names.
            if (meaningful != 1) throw std::runtime_error(where + ": falta o nome do cliente.");
            entries.push_back({"padrao", std::string(words[0]), TokenRole::Writer});
            continue;
        }
        if (words.size() > 3) throw std::runtime_error(where + ": use NOME SEGREDO [escrita|leitura].");
        // The name reaches the history as the client who stored: the one rule of names holds.
        if (!IsAcceptableUserName(words[0])) {
            throw std::runtime_error(
                where + ": nome de cliente inválido (até 64 caracteres UTF-8, sem caracteres de controle).");
        }
        TokenEntry entry{std::string(words[0]), std::string(words[1]), TokenRole::Writer};
        if (words.size() == 3) {
            if (words[2] == "leitura") {
                entry.role = TokenRole::Reader;
            } else if (words[2] != "escrita") {
                throw std::runtime_error(where + ": papel '" + std::string(words[2]) +
                                         "' desconhecido (escrita ou leitura).");
            }
        }
        for (const auto& other : entries) {
            if (other.name == entry.name) {
                throw std::runtime_error(where + ": o cliente '" + entry.name + "' aparece duas vezes.");
            }
        }
        entries.push_back(std::move(entry));
    }
    if (entries.empty()) throw std::runtime_error("o arquivo de segredos não tem nenhum segredo.");
    return entries;
}

std::vector<TokenEntry> ReadTokenFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("não foi possível ler o arquivo de segredos " + path + ".");
    std::stringstream text;
    text << file.rdbuf();
    return ParseTokenText(text.str());
}

std::optional<std::string> TokenFromEnvironment() {
    const char* token = std::getenv("VOR17000_TOKEN");
    if (token == nullptr) return std::nullopt;
    const auto trimmed = TrimmedBlanks(token, kLineBlanks);
    if (trimmed.empty()) return std::nullopt;
    return std::string(trimmed);
}

}  // namespace hostlib
