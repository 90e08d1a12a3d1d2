#include "local_cache.h"

#include <algorithm>

#include "hostlib/db/query.h"

namespace host::desktop {

namespace {
// Only these names ever reach SQL: a table name cannot be a parameter.
const char* const kCachedTables[] = {"CTRLNUMENF", "LOCALEMISSAO", "EMPRESA", "INSCRESTAD", "INSCRMUNICIP"};
}  // namespace

std::vector<std::string> LocalCache::Refresh(const std::vector<std::string>& tables) {
    std::vector<std::string> refreshed;
    for (const auto& table : tables) {
        const auto known = std::find(std::begin(kCachedTables), std::end(kCachedTables), table);
        if (known == std::end(kCachedTables)) continue;
        hostlib::TADOIBQuery query(nullptr, "qryCache");
        query.Connection = &database_;
        query.SetSQL({std::string("SELECT * FROM ") + *known});
        query.Open();
        std::vector<std::vector<std::string>> rows;
        for (std::size_t r = 0; r < query.RecordCount(); ++r) {
            query.MoveTo(r);
            std::vector<std::string> row;
            for (std::size_t c = 0; c < query.FieldDefs.size(); ++c)
                row.push_back(hostlib::TField(query, c).AsString());
            rows.push_back(std::move(row));
        }
        tables_[table] = std::move(rows);
        refreshed.push_back(table);
    }
    return refreshed;
}

std::size_t LocalCache::RowCount(const std::string& table) const {
    const auto it = tables_.find(table);
    return it == tables_.end() ? 0 : it->second.size();
}

}  // namespace host::desktop
