#pragma once
// Who is logged in to the operating system: the host's user until the host says otherwise.
#include <string>

namespace hostlib {

// The effective user's login name, else $USER, else empty.
std::string OperatingSystemLoginName();

}  // namespace hostlib
