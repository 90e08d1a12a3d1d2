#include "access_control.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace appserver {

namespace {

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

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

bool SameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// Every byte of the expected token is looked at whatever the input, so the time taken does
// not tell how much of a guess was right.
bool SameToken(std::string_view expected, std::string_view given) {
    unsigned char difference = given.size() == expected.size() ? 0 : 1;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const unsigned char g = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
        difference |= static_cast<unsigned char>(g ^ static_cast<unsigned char>(expected[i]));
    }
    return difference == 0;
}

}  // namespace

ClientTable ClientTable::FromText(std::string_view text) {
    ClientTable table;
    std::size_t line_number = 0;
    std::size_t start = 0;
    std::vector<std::string_view> lines;
    while (start <= text.size()) {
        const auto end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    std::size_t meaningful = 0;
    for (const auto raw : lines) {
        const auto line = Trimmed(raw);
        if (!line.empty() && line.front() != '#') ++meaningful;
    }
    for (const auto raw : lines) {
        ++line_number;
        const auto line = Trimmed(raw);
        if (line.empty() || line.front() == '#') continue;
        const auto words = Words(line);
        const std::string where = "linha " + std::to_string(line_number) + " do arquivo de segredos";
        if (words.size() == 1) {
            // A file of one bare token, as before there were names.
            if (meaningful != 1) throw std::runtime_error(where + ": falta o nome do cliente.");
            table.entries_.push_back(Entry::Of("padrao", ClientRole::Writer, words[0]));
            continue;
        }
        if (words.size() > 3) throw std::runtime_error(where + ": use NOME SEGREDO [escrita|leitura].");
        // The name goes into the history of every store the client makes.
        if (words[0].size() > 64) throw std::runtime_error(where + ": nome de cliente com mais de 64 caracteres.");
        Entry entry = Entry::Of(words[0], ClientRole::Writer, words[1]);
        if (words.size() == 3) {
            if (words[2] == "leitura") {
                entry.client.role = ClientRole::Reader;
            } else if (words[2] != "escrita") {
                throw std::runtime_error(where + ": papel '" + std::string(words[2]) +
                                         "' desconhecido (escrita ou leitura).");
            }
        }
        for (const auto& other : table.entries_) {
            if (other.client.name == entry.client.name) {
                throw std::runtime_error(where + ": o cliente '" + entry.client.name + "' aparece duas vezes.");
            }
        }
        table.entries_.push_back(std::move(entry));
    }
    if (table.entries_.empty()) throw std::runtime_error("o arquivo de segredos não tem nenhum segredo.");
    return table;
}

ClientTable ClientTable::FromFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("não foi possível ler o arquivo de segredos " + path + ".");
    std::stringstream text;
    text << file.rdbuf();
    return FromText(text.str());
}

ClientTable ClientTable::FromToken(std::string token) {
    ClientTable table;
    const auto trimmed = Trimmed(token);
    if (trimmed.empty()) throw std::runtime_error("o segredo está vazio.");
    table.entries_.push_back(Entry::Of("padrao", ClientRole::Writer, trimmed));
    return table;
}

const Client* ClientTable::Authenticate(std::string_view header) const {
    constexpr std::string_view kScheme = "Bearer ";
    std::string_view given;
    if (header.size() >= kScheme.size() && SameLetters(header.substr(0, kScheme.size()), kScheme)) {
        given = header.substr(kScheme.size());
    }
    const Client* found = nullptr;
    for (const auto& entry : entries_) {
        // No early exit: every token is compared, whichever matches.
        if (SameToken(entry.token, given) && found == nullptr) found = &entry.client;
    }
    return found;
}

ConnectionLimiter::Slot::~Slot() {
    limiter_->open_total_.fetch_sub(1, std::memory_order_relaxed);
    std::lock_guard lock(limiter_->mutex_);
    if (--limiter_->open_[address_] <= 0) limiter_->open_.erase(address_);
}

std::unique_ptr<ConnectionLimiter::Slot> ConnectionLimiter::Acquire(const std::string& address, Refusal& refusal) {
    refusal = Refusal::None;
    if (total_ > 0 && open_total_.load(std::memory_order_relaxed) >= total_) {
        refusal = Refusal::Total;
        return nullptr;
    }
    std::lock_guard lock(mutex_);
    int& open = open_[address];
    if (per_address_ > 0 && open >= per_address_) {
        if (open == 0) open_.erase(address);
        refusal = Refusal::Address;
        return nullptr;
    }
    ++open;
    open_total_.fetch_add(1, std::memory_order_relaxed);
    return std::make_unique<Slot>(shared_from_this(), address);
}

}  // namespace appserver
