#pragma once
// Writing JSON text straight into an answer buffer: no document tree, no allocation once the
// buffer has grown to the size answers take.
#include <string>
#include <string_view>

namespace appserver {

// `text` as a JSON string, quotes included. The text is UTF-8 (the data boundary made it so);
// control characters are escaped.
inline void AppendJsonString(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    std::size_t clean = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        out.append(text.data() + clean, i - clean);
        clean = i + 1;
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 0xF];
        }
    }
    out.append(text.data() + clean, text.size() - clean);
    out += '"';
}

}  // namespace appserver
