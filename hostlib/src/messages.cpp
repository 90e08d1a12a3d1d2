#include "hostlib/messages.h"

#include "core/exceptions.h"

namespace hostlib {

void TMessages::SetLines(const std::vector<std::string>& lines) {
    messages_.clear();
    for (const auto& line : lines) {
        const auto bar = line.find('|');
        if (bar == std::string::npos) {
            messages_.emplace_back(line, "");
        } else {
            messages_.emplace_back(line.substr(0, bar), line.substr(bar + 1));
        }
    }
}

bool TMessages::Replace(std::string_view key, std::string text) {
    for (auto& [k, v] : messages_) {
        if (k == key) {
            v = std::move(text);
            return true;
        }
    }
    return false;
}

const std::string& TMessages::Msg(std::string_view key) const {
    for (const auto& [k, v] : messages_) {
        if (k == key) return v;
    }
    throw Exception("Mensagem '" + std::string(key) + "' não encontrada.");
}

}  // namespace hostlib
