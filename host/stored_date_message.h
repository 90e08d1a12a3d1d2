#pragma once
// The sentence that tells the clerk what a successful store kept where, from the call that
// stored it: "Data de emissão 02/01/2024 gravada no controle CTRL01.".
#include <optional>
#include <string>
#include <vector>

#include "hostlib/net/remote_argument.h"

namespace host {

// Nothing for a call that stores no date.
std::optional<std::string> StoredDateMessage(const std::string& method,
                                             const std::vector<hostlib::RemoteArgument>& arguments);

}  // namespace host
