#include "hostlib/utf8.h"

namespace hostlib::utf8 {

std::vector<char32_t> Decode(std::string_view text) {
    std::vector<char32_t> out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int extra = 0;
        char32_t ch = lead;
        if (lead >= 0xF0) {
            extra = 3;
            ch = lead & 0x07u;
        } else if (lead >= 0xE0) {
            extra = 2;
            ch = lead & 0x0Fu;
        } else if (lead >= 0xC0) {
            extra = 1;
            ch = lead & 0x1Fu;
        }
        ++i;
        for (int k = 0; k < extra && i < text.size(); ++k, ++i) {
            ch = (ch << 6) | (static_cast<unsigned char>(text[i]) & 0x3Fu);
        }
        out.push_back(ch);
    }
    return out;
}

std::string Encode(char32_t ch) {
    std::string out;
    if (ch < 0x80) {
        out += static_cast<char>(ch);
    } else if (ch < 0x800) {
        out += static_cast<char>(0xC0 | (ch >> 6));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        out += static_cast<char>(0xE0 | (ch >> 12));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (ch >> 18));
        out += static_cast<char>(0x80 | ((ch >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    }
    return out;
}

std::string Encode(const std::vector<char32_t>& chars) {
    std::string out;
    for (char32_t ch : chars) out += Encode(ch);
    return out;
}

std::size_t Length(std::string_view text) {
    std::size_t n = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    }
    return n;
}

std::string WithoutLast(std::string_view text) {
    std::size_t end = text.size();
    while (end > 0) {
        --end;
        if ((static_cast<unsigned char>(text[end]) & 0xC0) != 0x80) break;
    }
    return std::string(text.substr(0, end));
}

char32_t ToUpper(char32_t ch) {
    if (ch >= U'a' && ch <= U'z') return ch - 32;
    // Latin-1 lower-case letters, except the division sign and ÿ.
    if (ch >= 0xE0 && ch <= 0xFE && ch != 0xF7) return ch - 32;
    return ch;
}

}  // namespace hostlib::utf8
