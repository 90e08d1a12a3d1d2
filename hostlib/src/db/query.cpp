#include "hostlib/db/query.h"

#include <soci/soci.h>

#include <algorithm>
#include <cctype>

#include "hostlib/application.h"
#include "hostlib/db/data_module.h"
#include "hostlib/db/database_error.h"
#include "hostlib/db/sql_value.h"

namespace hostlib {

namespace {

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string sql;
    for (const auto& line : lines) sql.append(line).append("\n");
    return sql;
}

}  // namespace

std::vector<std::string> PlaceholderNames(std::string_view sql) {
    std::vector<std::string> names;
    char quote = 0;
    for (std::size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (quote != 0) {
            if (c == quote) quote = 0;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == ':' && i + 1 < sql.size() && sql[i + 1] == ':') {
            ++i;  // a cast, not a placeholder
        } else if (c == ':' && i + 1 < sql.size() && IsNameChar(sql[i + 1])) {
            std::size_t end = i + 1;
            while (end < sql.size() && IsNameChar(sql[end])) ++end;
            std::string name(sql.substr(i + 1, end - i - 1));
            if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
            i = end - 1;
        }
    }
    return names;
}

void TADOIBQuery::SetSQL(std::vector<std::string> lines) {
    Close();
    sql_ = std::move(lines);
    params_.clear();
    for (auto& name : PlaceholderNames(JoinLines(sql_))) params_.emplace_back(std::move(name));
}

TParameter& TADOIBQuery::ParamByName(std::string_view name) {
    for (auto& param : params_) {
        if (param.Name() == name) return param;
    }
    throw EDatabaseError(DatabaseErrorCategory::Other,
                         Name() + ": parâmetro '" + std::string(name) + "' não encontrado.");
}

std::vector<std::vector<FieldValue>> TADOIBQuery::Fetch() {
    TdtmDBGeral& module = Connection != nullptr ? *Connection : Application().DataModule();
    soci::session& session = module.Session();
    std::vector<std::vector<FieldValue>> rows;
    try {
        // Every parameter is bound, nulls included: an unbound placeholder is an error on
        // some servers and a silent null on others.
        std::vector<std::string> values(params_.size());
        std::vector<soci::indicator> indicators(params_.size(), soci::i_ok);
        soci::details::prepare_temp_type prepared = (session.prepare << JoinLines(sql_));
        for (std::size_t i = 0; i < params_.size(); ++i) {
            if (params_[i].Value()) {
                values[i] = *params_[i].Value();
            } else {
                indicators[i] = soci::i_null;
            }
            prepared, soci::use(values[i], indicators[i], params_[i].Name());
        }
        soci::rowset<soci::row> result(prepared);
        std::vector<std::size_t> columns;  // result column -> field
        for (const soci::row& row : result) {
            if (columns.empty()) {
                for (std::size_t c = 0; c < row.size(); ++c) {
                    const auto& name = row.get_properties(c).get_name();
                    TFieldDef def;
                    def.Name = name;
                    std::transform(def.Name.begin(), def.Name.end(), def.Name.begin(),
                                   [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
                    def.DataType = ColumnFieldType(row, c);
                    def.DisplayLabel = def.Name;
                    columns.push_back(DefineField(def));
                }
            }
            std::vector<FieldValue> values_of_row(FieldDefs.size());
            for (std::size_t c = 0; c < columns.size(); ++c) {
                values_of_row[columns[c]] = ReadColumn(row, c, FieldDefs[columns[c]].DataType);
            }
            rows.push_back(std::move(values_of_row));
        }
    } catch (...) {
        RethrowAsDatabaseError(std::current_exception());
    }
    return rows;
}

}  // namespace hostlib
