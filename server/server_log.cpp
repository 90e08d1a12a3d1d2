#include "server_log.h"

#include <unistd.h>

#include <cstdio>

namespace appserver {

std::string EscapedForLog(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '\\') {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out;
}

void LogEvent(std::string_view text) {
    std::string line = "vor17000-server: " + EscapedForLog(text) + "\n";
    // One write per line keeps lines whole across threads without a lock.
    [[maybe_unused]] const auto written = ::write(2, line.data(), line.size());
}

}  // namespace appserver
