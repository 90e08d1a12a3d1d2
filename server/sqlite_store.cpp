// SQLite holds the write lock for the whole transaction: a store reads the old date, runs its
// checks against the row as the stores before it left it, then writes the date and the
// history row, one statement each.
#include <soci/soci.h>

#include "core/ascii_text.h"
#include "core/db/sql_value.h"
#include "core/utf8.h"
#include "store_strategy.h"

namespace appserver {

namespace {

std::string OldDateSql(const StoreTable& t) {
    return std::string("SELECT ") + t.date + " FROM " + t.name + " WHERE " + t.key + " = :P_CODIGO";
}
std::string UpdateSql(const StoreTable& t) {
    return std::string("UPDATE ") + t.name + " SET " + t.date + " = :P_DATA WHERE " + t.key + " = :P_CODIGO";
}
std::string HistorySql() {
    return std::string(kHistoryColumns) +
           "VALUES (:P_TABELA, :P_CODIGO, :P_ANTERIOR, :P_TEXTO_ANTERIOR, :P_DATA, :P_CLIENTE, :P_USUARIO, :P_ORIGEM, "
           ":P_REGISTRO)";
}

class SqliteStore : public StoreStrategy {
public:
    explicit SqliteStore(hostlib::DatabaseSession& database) : StoreStrategy(database) {
        for (const StoreTarget target : {StoreTarget::NumberingControl, StoreTarget::IssueLocation}) {
            Targeted& statements = Of(target);
            const StoreTable& table = TableOf(target);
            statements.old_date.emplace(session_);
            statements.old_date->exchange(soci::into(old_date, old_date_null));
            statements.old_date->exchange(soci::use(code, "P_CODIGO"));
            Prepare(*statements.old_date, OldDateSql(table));
            statements.update.emplace(session_);
            statements.update->exchange(soci::use(date, "P_DATA"));
            statements.update->exchange(soci::use(code, "P_CODIGO"));
            Prepare(*statements.update, UpdateSql(table));
            statements.history.emplace(session_);
            statements.history->exchange(soci::use(table_name, "P_TABELA"));
            statements.history->exchange(soci::use(code, "P_CODIGO"));
            statements.history->exchange(soci::use(old_date_read, old_date_read_null, "P_ANTERIOR"));
            statements.history->exchange(soci::use(old_date_text, old_date_text_null, "P_TEXTO_ANTERIOR"));
            statements.history->exchange(soci::use(date, "P_DATA"));
            BindWho(*statements.history);
            Prepare(*statements.history, HistorySql());
        }
    }

private:
    StoreResult StoreUnder(const StoreRequest& request, const std::string& key) override {
        Bind(request, key);
        Targeted& statements = Of(request.target);
        old_date_null = soci::i_null;
        const bool exists = statements.old_date->execute(true);
        while (exists && statements.old_date->fetch()) {
        }
        if (!exists) return {StoreResult::Result::UnknownCode, nullptr};
        ReadOldDate();
        if (request.expect.Any()) {
            const std::optional<hostlib::TDateTime> current =
                old_date_read_null == soci::i_null ? std::nullopt : hostlib::ReadDatabaseDateTime(old_date_read);
            const LatestInvoice latest = request.expect.invoices == InvoiceCheck::None
                                             ? LatestInvoice{}
                                             : LatestInvoiceOf(request.expect.control);
            auto refusal = Check(request, key, current, latest, [&] { return UserOf(request.target, key, current); });
            if (refusal) return {StoreResult::Result::Refused, refusal};
        }
        statements.update->execute(true);
        if (statements.update->get_affected_rows() == 0) return {StoreResult::Result::UnknownCode, nullptr};
        statements.history->execute(true);
        return {StoreResult::Result::Stored, nullptr};
    }

    // The old date as the server reads it, for the history. Empty text is none; a text no
    // form reads is none too, and its text is kept beside.
    void ReadOldDate() {
        old_date_read_null = soci::i_null;
        old_date_text_null = soci::i_null;
        if (old_date_null == soci::i_null || hostlib::IsBlank(old_date)) return;
        if (const auto read = hostlib::ReadDatabaseDateTime(old_date)) {
            old_date_read = hostlib::DateTimeToIso(*read, ' ');
            old_date_read_null = soci::i_ok;
            return;
        }
        old_date_text = hostlib::utf8::Truncated(hostlib::utf8::ValidOrWindows1252(old_date), kLongestOldDateText);
        old_date_text_null = soci::i_ok;
    }

    struct Targeted {
        std::optional<soci::statement> old_date;
        std::optional<soci::statement> update;
        std::optional<soci::statement> history;
    };
    Targeted& Of(StoreTarget target) { return target == StoreTarget::NumberingControl ? controls_ : locations_; }

    std::string old_date, old_date_read, old_date_text;
    soci::indicator old_date_null = soci::i_null;
    soci::indicator old_date_read_null = soci::i_null;
    soci::indicator old_date_text_null = soci::i_null;
    Targeted controls_;
    Targeted locations_;
};

}  // namespace

std::unique_ptr<StoreStrategy> MakeSqliteStore(hostlib::DatabaseSession& database) {
    return std::make_unique<SqliteStore>(database);
}

}  // namespace appserver
