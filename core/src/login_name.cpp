#include "core/login_name.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "core/utf8.h"

namespace hostlib {

std::string OperatingSystemLoginName() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_name != nullptr) {
        return found->pw_name;
    }
    // A user missing from the password database (a container's numeric id) still has $USER.
    if (const char* user = std::getenv("USER"); user != nullptr) return user;
    return {};
}

namespace {

bool IsControl(char32_t ch) { return ch < 0x20 || ch == 0x7F; }

}  // namespace

bool IsAcceptableUserName(std::string_view name) {
    for (char c : name) {
        if (IsControl(static_cast<unsigned char>(c))) return false;
    }
    return utf8::IsValid(name) && utf8::Length(name) <= kLongestUserName;
}

std::string AcceptableUserName(std::string_view name) {
    if (IsAcceptableUserName(name)) return std::string(name);
    std::string value;
    std::size_t kept = 0;
    for (char32_t ch : utf8::Decode(name)) {
        if (IsControl(ch)) continue;
        if (kept == kLongestUserName) break;
        value += utf8::Encode(ch);
        ++kept;
    }
    return value;
}

}  // namespace hostlib
