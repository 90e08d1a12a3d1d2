#include "host_database.h"

#include <cstdlib>

#include "core/db/database_error.h"

namespace host {

std::filesystem::path DemoDatabasePath() {
    std::filesystem::path folder;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data != '\0') {
        folder = data;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        folder = std::filesystem::path(home) / ".local" / "share";
    } else {
        folder = std::filesystem::temp_directory_path();
    }
    return folder / "vor17000" / "demo.db";
}

std::string OpenHostDatabase(hostlib::TdtmDBGeral& module, const HostOptions& options) {
    if (!options.database_url.empty()) {
        // A file named by the user must be there: a typo would otherwise open an empty database.
        hostlib::SessionOptions session;
        session.missing = hostlib::MissingDatabase::Refuse;
        module.Open(options.database_url, session);
        return options.database_url;
    }
    const auto path = DemoDatabasePath();
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    const bool first_use = !std::filesystem::exists(path, ec);
    const std::string url = "sqlite:" + path.string();
    module.Open(url);
    if (!first_use) return url;
    // All or nothing, so that an interrupted first run does not leave half the demo behind.
    module.LoadDemoData();
    return url;
}

}  // namespace host
