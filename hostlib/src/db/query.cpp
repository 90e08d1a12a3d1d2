#include "hostlib/db/query.h"

#include <soci/soci.h>

#include <algorithm>
#include <cctype>

#include "hostlib/application.h"
#include "hostlib/db/data_module.h"
#include "core/db/database_error.h"
#include "core/db/sql_value.h"
#include "core/utf8.h"

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

struct TADOIBQuery::Prepared {
    const TdtmDBGeral* module = nullptr;
    std::uint64_t session_number = 0;
    std::vector<std::string> values;
    std::vector<soci::indicator> indicators;
    soci::row row;
    std::unique_ptr<soci::statement> statement;
};

TADOIBQuery::TADOIBQuery(TComponent* owner, std::string name) : TDataSet(owner, std::move(name)) {}

TADOIBQuery::~TADOIBQuery() = default;

void TADOIBQuery::SetSQL(std::vector<std::string> lines) {
    Close();
    prepared_.reset();
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
        if (!prepared_ || prepared_->module != &module || prepared_->session_number != module.SessionNumber()) {
            // Every parameter is bound, nulls included: an unbound placeholder is an error
            // on some servers and a silent null on others.
            auto prepared = std::make_unique<Prepared>();
            prepared->module = &module;
            prepared->session_number = module.SessionNumber();
            prepared->values.resize(params_.size());
            prepared->indicators.resize(params_.size(), soci::i_ok);
            prepared->statement = std::make_unique<soci::statement>(session);
            soci::statement& statement = *prepared->statement;
            for (std::size_t i = 0; i < params_.size(); ++i) {
                statement.exchange(soci::use(prepared->values[i], prepared->indicators[i], params_[i].Name()));
            }
            statement.exchange(soci::into(prepared->row));
            statement.alloc();
            statement.prepare(JoinLines(sql_));
            statement.define_and_bind();
            prepared_ = std::move(prepared);
        }
        Prepared& p = *prepared_;
        for (std::size_t i = 0; i < params_.size(); ++i) {
            const auto& value = params_[i].Value();
            p.values[i] = value.value_or(std::string());
            p.indicators[i] = value ? soci::i_ok : soci::i_null;
        }
        Run(p, rows);
        // A key shown decoded from an older code page finds its row again in that code page.
        if (rows.empty() && module.KeepsLegacyText()) {
            bool legacy = false;
            for (std::size_t i = 0; i < params_.size(); ++i) {
                if (p.indicators[i] != soci::i_ok) continue;
                if (auto form = utf8::Windows1252Form(p.values[i])) {
                    p.values[i] = std::move(*form);
                    legacy = true;
                }
            }
            if (legacy) Run(p, rows);
        }
    } catch (...) {
        // A statement that failed is prepared afresh next time.
        prepared_.reset();
        RethrowAsDatabaseError(std::current_exception());
    }
    return rows;
}

void TADOIBQuery::Run(Prepared& p, std::vector<std::vector<FieldValue>>& rows) {
    std::vector<std::size_t> columns;  // result column -> field
    bool more = p.statement->execute(true);
    while (more) {
        const soci::row& row = p.row;
        if (columns.empty()) {
            for (std::size_t c = 0; c < row.size(); ++c) {
                TFieldDef def;
                def.Name = row.get_properties(c).get_name();
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
        more = p.statement->fetch();
    }
}

}  // namespace hostlib
