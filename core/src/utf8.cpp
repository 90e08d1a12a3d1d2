#include "core/utf8.h"

#include <algorithm>
#include <iterator>

namespace hostlib::utf8 {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The length of the well-formed sequence at `text[i]`, 0 when there is none.
std::size_t SequenceLength(std::string_view text, std::size_t i, char32_t& out) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        out = lead;
        return 1;
    }
    std::size_t length = 0;
    char32_t ch = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, ch = lead & 0x1Fu, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, ch = lead & 0x0Fu, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, ch = lead & 0x07u, minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        ch = (ch << 6) | (byte(i + k) & 0x3Fu);
    }
    if (ch < minimum || ch > 0x10FFFF || (ch >= 0xD800 && ch <= 0xDFFF)) return 0;
    out = ch;
    return length;
}

// Windows-1252 0x80..0x9F; the undefined ones map to the C1 controls, as decoders do.
constexpr char32_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

std::vector<char32_t> Decode(std::string_view text) {
    std::vector<char32_t> out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t ch = 0;
        const std::size_t length = SequenceLength(text, i, ch);
        out.push_back(length == 0 ? kReplacement : ch);
        i += length == 0 ? 1 : length;
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
    out.reserve(chars.size());
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

std::string Truncated(std::string_view text, std::size_t characters) {
    if (Length(text) <= characters && IsValid(text)) return std::string(text);
    auto decoded = Decode(text);
    if (decoded.size() > characters) decoded.resize(characters);
    return Encode(decoded);
}

void DropLast(std::string& text) {
    std::size_t end = text.size();
    while (end > 0) {
        --end;
        if ((static_cast<unsigned char>(text[end]) & 0xC0) != 0x80) break;
    }
    text.erase(end);
}

char32_t ToUpper(char32_t ch) {
    if (ch >= U'a' && ch <= U'z') return ch - 32;
    // Latin-1 lower-case letters, except the division sign and ÿ.
    if (ch >= 0xE0 && ch <= 0xFE && ch != 0xF7) return ch - 32;
    return ch;
}

bool IsValid(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        char32_t ch = 0;
        const std::size_t length = SequenceLength(text, i, ch);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::string FromWindows1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += Encode(byte < 0xA0 ? kWindows1252High[byte - 0x80] : static_cast<char32_t>(byte));
        }
    }
    return out;
}

std::string ValidOrWindows1252(std::string text) {
    if (IsValid(text)) return text;
    return FromWindows1252(text);
}

std::optional<std::string> Windows1252Form(std::string_view text) {
    if (!IsValid(text)) return std::nullopt;
    std::string bytes;
    bool beyond_ascii = false;
    for (char32_t ch : Decode(text)) {
        if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) {
            beyond_ascii = beyond_ascii || ch >= 0x80;
            bytes += static_cast<char>(ch);
            continue;
        }
        const auto* high = std::find(std::begin(kWindows1252High), std::end(kWindows1252High), ch);
        if (high == std::end(kWindows1252High)) return std::nullopt;
        beyond_ascii = true;
        bytes += static_cast<char>(0x80 + (high - std::begin(kWindows1252High)));
    }
    if (!beyond_ascii) return std::nullopt;
    return bytes;
}

}  // namespace hostlib::utf8
