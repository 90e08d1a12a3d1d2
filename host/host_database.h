#pragma once
// The host's database: the one the options name, or the demo database in the user's data
// folder, created and filled on first use.
#include <filesystem>

#include "host_options.h"
#include "hostlib/db/data_module.h"

namespace host {

std::filesystem::path DemoDatabasePath();
// Opens the database and returns its URL. Raises EDatabaseError naming the URL when the
// database cannot be opened; an SQLite file the options name must exist (only the demo
// database is made on first use).
std::string OpenHostDatabase(hostlib::TdtmDBGeral& module, const HostOptions& options);

}  // namespace host
