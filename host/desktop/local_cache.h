#pragma once
// The host's own copy of tables it shows elsewhere, refreshed when a screen says a table
// changed.
#include <map>
#include <string>
#include <vector>

#include "hostlib/db/data_module.h"

namespace host::desktop {

class LocalCache {
public:
    explicit LocalCache(hostlib::TdtmDBGeral& database) : database_(database) {}
    // Reads the tables again; a name the host keeps no copy of is passed over. Returns
    // the names refreshed.
    std::vector<std::string> Refresh(const std::vector<std::string>& tables);
    std::size_t RowCount(const std::string& table) const;

private:
    hostlib::TdtmDBGeral& database_;
    std::map<std::string, std::vector<std::vector<std::string>>> tables_;
};

}  // namespace host::desktop
