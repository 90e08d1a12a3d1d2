#include "core/format_message.h"

namespace hostlib {

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
