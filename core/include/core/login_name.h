#pragma once
// Who is logged in to the operating system: the host's user until the host says otherwise;
// and the rule a user's (or a client's) name keeps on the wire and in the history.
#include <cstddef>
#include <string>
#include <string_view>

namespace hostlib {

// The effective user's login name, else $USER, else empty.
std::string OperatingSystemLoginName();

// The history keeps names of at most this many characters.
constexpr std::size_t kLongestUserName = 64;
// UTF-8, at most kLongestUserName characters, no control characters.
bool IsAcceptableUserName(std::string_view name);
// The name made acceptable: control characters dropped, cut to kLongestUserName characters,
// bytes that are not UTF-8 as U+FFFD.
std::string AcceptableUserName(std::string_view name);

}  // namespace hostlib
