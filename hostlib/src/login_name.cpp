#include "hostlib/login_name.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

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

}  // namespace hostlib
