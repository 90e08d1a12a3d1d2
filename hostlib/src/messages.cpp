#include "hostlib/messages.h"

#include "hostlib/exceptions.h"

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

std::string FormatMessage(std::string_view text, const std::vector<std::string>& arguments) {
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's') {
            if (next < arguments.size()) out += arguments[next++];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace hostlib
